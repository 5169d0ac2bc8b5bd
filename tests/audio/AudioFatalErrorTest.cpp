// SPDX-License-Identifier: GPL-3.0-or-later
#include <portaudio.h>

#include <gtest/gtest.h>

#include "devices/audio/AudioOutput.h"
#include "live/LiveInstrument.h"
#include "tests/support/JackServer.h"

namespace vireon::audio {
namespace {

using testsupport::JackClientEnvironment;
using testsupport::uniqueJackServerName;

// After a failed open the library must be back where it was before: one release terminates
// it, and a second one leaves alone an initialisation that belongs to someone else.
void expectReleasedExactlyOnce(AudioOutput& output) {
    output.releaseAfterFatalError();
    EXPECT_EQ(Pa_Terminate(), paNotInitialized) << "the library is still initialised";
    ASSERT_EQ(Pa_Initialize(), paNoError);
    output.releaseAfterFatalError();
    EXPECT_EQ(Pa_Terminate(), paNoError) << "the library was terminated a second time";
}

TEST(AudioFatalError, WithoutAnyServerTheOpenFailsWithInvalidDevice) {
    const JackClientEnvironment noServer(uniqueJackServerName());
    live::LiveInstrument instrument;
    AudioOutput output(instrument);

    EXPECT_FALSE(output.openAudio());
    EXPECT_EQ(output.lastError(), paInvalidDevice);
    EXPECT_EQ(output.fatalErrorText(), "Invalid device");
    EXPECT_EQ(output.fatalErrorText(), Pa_GetErrorText(paInvalidDevice));
    expectReleasedExactlyOnce(output);
}

}  // namespace
}  // namespace vireon::audio
