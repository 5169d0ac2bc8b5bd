// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "devices/audio/AudioOutput.h"
#include "live/LiveInstrument.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackServer.h"

namespace vireon::audio {
namespace {

using testsupport::ChildOutcome;
using testsupport::JackClientEnvironment;
using testsupport::JackServer;
using testsupport::runInChildProcess;
using testsupport::uniqueJackServerName;

// Probing for devices makes ALSA and libjack write dozens of lines on a machine without sound
// cards or server; none of them may reach the user's terminal. A child process gives the
// probe a standard error of its own to inspect.
TEST(AudioQuiet, AFailedOpenWithoutAnyServerPrintsNothing) {
    const ChildOutcome outcome = runInChildProcess(
        [] {
            const JackClientEnvironment noServer(uniqueJackServerName());
            live::LiveInstrument instrument;
            AudioOutput output(instrument);
            const bool opened = output.openAudio();
            output.releaseAfterFatalError();
            return opened ? 1 : 0;
        },
        20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(outcome.errorOutput, "");
}

TEST(AudioQuiet, APlayingSessionOnAServerPrintsNothing) {
    VIREON_SKIP_WITHOUT_JACKD();
    const JackServer server;
    const ChildOutcome outcome = runInChildProcess(
        [] {
            live::LiveInstrument instrument;
            AudioOutput output(instrument);
            if (!output.openAudio()) {
                return 1;
            }
            output.startAudio();
            const bool rendered = waitForRendering(instrument.instrument().state(), 0);
            return output.shutdownAudio(sleepInsteadOfWindowEvents) && rendered ? 0 : 2;
        },
        20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(outcome.errorOutput, "");
}

}  // namespace
}  // namespace vireon::audio
