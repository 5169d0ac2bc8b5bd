// Vireon under the sound servers of a Linux desktop: a headless PipeWire carries its sound
// through PipeWire's ALSA plugin, as on most desktops, while a JACK dummy server carries the
// test keyboard; each runs privately for the test.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackServer.h"
#include "tests/support/PipeWireServer.h"
#include "tests/support/Samples.h"

namespace vireon::ui::test {
namespace {

using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;
using testsupport::JackServer;
using testsupport::PipeWireRecorder;
using testsupport::PipeWireServer;

constexpr std::size_t kCompared = 4000;  // attack, decay and into the sustain

class VireonOnPipeWire : public VireonProgram {
  protected:
    void SetUp() override {
        if (!PipeWireServer::installed()) {
            GTEST_SKIP() << "PipeWire is not installed (Debian packages pipewire, pipewire-bin, "
                            "pipewire-alsa, wireplumber)";
        }
    }

    // The keyboard's JACK server for MIDI; sound to PipeWire, whatever ALSA's default is.
    std::vector<std::string> environmentFor(const JackServer& midi,
                                            const PipeWireServer& pipewire) const {
        std::vector<std::string> environment = midi.clientEnvironment();
        for (const std::string& entry : pipewire.clientEnvironment()) {
            if (!entry.starts_with("JACK_")) {
                environment.push_back(entry);
            }
        }
        return environment;
    }

    // Plays one note and expects the renderer's samples from its attack on.
    void expectNoteSoundsAsRendered(TestKeyboard& keyboard, const PipeWireServer& pipewire) {
        PipeWireRecorder recorder(pipewire);
        ASSERT_TRUE(recorder.waitForSamples(1024, 5s)) << pipewire.log();
        keyboard.noteOn(69);
        std::vector<float> recorded = recorder.recordSound(kCompared);
        keyboard.noteOff(69);
        const std::vector<float> rendered = alignAtFirstNonZero(renderedNote(69, 12000));
        ASSERT_GE(recorded.size(), kCompared);
        ASSERT_GE(rendered.size(), kCompared);
        recorded.resize(kCompared);
        EXPECT_EQ(firstBitDifference(
                      recorded, std::vector<float>(rendered.begin(), rendered.begin() + kCompared)),
                  kCompared);
    }
};

TEST_F(VireonOnPipeWire, ANotePlaysAsTheRendererRendersIt) {
    JackServer midi;
    PipeWireServer pipewire;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = start(environmentFor(midi, pipewire));
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();

    expectNoteSoundsAsRendered(keyboard, pipewire);

    ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
    EXPECT_EQ(vireon->errorOutput(), "");
}

}  // namespace
}  // namespace vireon::ui::test
