// SPDX-License-Identifier: GPL-3.0-or-later
// Vireon under the sound servers of a Linux desktop, which come and go: a headless PipeWire
// carries its sound through PipeWire's ALSA plugin, as on most desktops, or through PipeWire's
// own JACK, or a JACK dummy server does, as for musicians; a JACK server carries the test
// keyboard. Each runs privately for the test. A server that stops under the playing program and
// starts again must cost nothing but the silence in between: no processor time, no flood of
// messages, no crash when quitting, and the same sound once it is back.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/Environment.h"
#include "tests/support/JackPorts.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/PipeWireServer.h"
#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"

namespace vireon::ui::test {
namespace {

using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;
using testsupport::JackRecorder;
using testsupport::JackServer;
using testsupport::PipeWireRecorder;
using testsupport::PipeWireServer;

constexpr std::size_t kCompared = 4000;  // attack, decay and into the sustain
// How long a server stays away in these tests.
constexpr auto kAway = 3s;
// While its server is away the program must not spin: the fault this catches kept a core 70 to
// 99 % busy and flooded standard error. A quarter of a core is far above what waiting costs in
// any build, sanitized ones included, and far below a spin; the measured figure is printed.
constexpr double kAwayProcessorShare = 0.25;
constexpr std::size_t kErrorOutputBound = 10000;

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class VireonServerRestart : public VireonProgram {
  protected:
    // PipeWire's clients, without the settings that keep JACK clients off any JACK server.
    static std::vector<std::string> pipeWireClient(const PipeWireServer& pipewire,
                                                   std::vector<std::string> environment = {}) {
        for (const std::string& entry : pipewire.clientEnvironment()) {
            if (!entry.starts_with("JACK_")) {
                environment.push_back(entry);
            }
        }
        return environment;
    }

    // The keyboard's JACK server for MIDI; sound to PipeWire, whatever ALSA's default is.
    std::vector<std::string> environmentFor(const JackServer& midi,
                                            const PipeWireServer& pipewire) const {
        return pipeWireClient(pipewire, midi.clientEnvironment());
    }

    // The program with its sound on `pipewire` and MIDI from `midi`, once its MIDI input is
    // open; null, with the failure reported, when that does not happen.
    std::unique_ptr<RunningProgram> startOn(const JackServer& midi,
                                            const PipeWireServer& pipewire) {
        auto vireon = start(environmentFor(midi, pipewire));
        if (!waitForStatus("0\tMIDI IN", 10s)) {
            ADD_FAILURE() << statusTrace() << vireon->errorOutput();
            return nullptr;
        }
        return vireon;
    }

    // The first note of a run, recorded from its attack on, is the renderer's note.
    static void expectSoundsAsRendered(std::vector<float> recorded) {
        const std::vector<float> rendered = alignAtFirstNonZero(renderedNote(69, 12000));
        ASSERT_GE(recorded.size(), kCompared);
        ASSERT_GE(rendered.size(), kCompared);
        recorded.resize(kCompared);
        EXPECT_EQ(firstBitDifference(
                      recorded, std::vector<float>(rendered.begin(), rendered.begin() + kCompared)),
                  kCompared);
    }

    // Keeps the server away for kAway and checks what the program spends meanwhile; the
    // server must already be gone and the program must say there is no sound.
    void expectQuietWhileAway(RunningProgram& vireon, const std::string& server) {
        EXPECT_TRUE(waitForStatus("2\t!", 3s)) << statusTrace();
        const std::chrono::milliseconds processorBefore = vireon.processorTime();
        const std::size_t errorBefore = vireon.errorOutput().size();
        std::this_thread::sleep_for(kAway);
        const std::chrono::milliseconds processor = vireon.processorTime() - processorBefore;
        const std::size_t errorBytes = vireon.errorOutput().size() - errorBefore;
        EXPECT_LT(processor.count(), kAwayProcessorShare * kAway / 1ms) << server;
        EXPECT_LT(vireon.errorOutput().size(), kErrorOutputBound) << vireon.errorOutput();
        std::printf("%s away %lld ms: processor %lld ms, %zu bytes to standard error\n",
                    server.c_str(), static_cast<long long>(kAway / 1ms),
                    static_cast<long long>(processor.count()), errorBytes);
        RecordProperty(server + "_away_processor_ms", std::to_string(processor.count()));
        RecordProperty(server + "_away_error_bytes", std::to_string(errorBytes));
    }

    // The text status field `field` shows now, from the status trace.
    std::string lastStatus(int field) const {
        const std::string trace = "\n" + statusTrace();
        const std::string start = "\n" + std::to_string(field) + "\t";
        const std::size_t at = trace.rfind(start);
        if (at == std::string::npos) {
            return "(none)";
        }
        const std::size_t begin = at + start.size();
        return trace.substr(begin, trace.find('\n', begin) - begin);
    }

    // Chooses the device list's current entry again, as a user retries a device.
    bool chooseDeviceAgain(const std::string& window) {
        return pressKey(window, "F4") && pressKey(window, "Return");
    }

    // Escape, and the program ends normally, whatever state its servers left it in.
    void expectQuitsCleanly(RunningProgram& vireon) {
        ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
        EXPECT_EQ(vireon.waitForExit(5s), 0) << vireon.errorOutput();
        EXPECT_LT(vireon.errorOutput().size(), kErrorOutputBound);
        EXPECT_EQ(readFile(settingsFile()), "10\r\n");
    }
};

class VireonOnPipeWire : public VireonServerRestart {
  protected:
    // Plays the run's first note and expects it as rendered, from its attack on.
    void expectFirstNoteAsRendered(const PipeWireServer& pipewire, TestKeyboard& keyboard) {
        PipeWireRecorder recorder(pipewire);
        ASSERT_TRUE(recorder.waitForSamples(1024, 5s)) << pipewire.log();
        keyboard.noteOn(69);
        expectSoundsAsRendered(recorder.recordSound(kCompared));
    }

    void SetUp() override {
        if (!PipeWireServer::installed()) {
            GTEST_SKIP() << "PipeWire is not installed (Debian packages pipewire, pipewire-bin, "
                            "pipewire-alsa, wireplumber)";
        }
    }
};

TEST_F(VireonOnPipeWire, PlaysANoteAsTheRendererRendersIt) {
    JackServer midi;
    PipeWireServer pipewire;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = startOn(midi, pipewire);
    ASSERT_TRUE(vireon);

    expectFirstNoteAsRendered(pipewire, keyboard);
    expectQuitsCleanly(*vireon);
    EXPECT_EQ(vireon->errorOutput(), "");
}

TEST_F(VireonOnPipeWire, StoppedAndStartedAgainItCostsOnlyTheSilence) {
    JackServer midi;
    PipeWireServer pipewire;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = startOn(midi, pipewire);
    ASSERT_TRUE(vireon);

    pipewire.stop();
    expectQuietWhileAway(*vireon, "pipewire");

    const std::size_t traceBeforeReturn = statusTrace().size();
    const Clock::time_point restarting = Clock::now();
    pipewire.start();
    const std::chrono::milliseconds serverStart = since(restarting);
    ASSERT_TRUE(waitForStatus("2\t", 5s, traceBeforeReturn)) << statusTrace();
    const std::chrono::milliseconds soundBack = since(restarting);
    std::printf(
        "pipewire: sound output back %lld ms after the restart began (the server took "
        "%lld ms)\n",
        static_cast<long long>(soundBack.count()), static_cast<long long>(serverStart.count()));
    RecordProperty("pipewire_sound_back_ms", std::to_string(soundBack.count()));

    expectFirstNoteAsRendered(pipewire, keyboard);
    EXPECT_EQ(lastStatus(0), "MIDI IN");

    expectQuitsCleanly(*vireon);
}

TEST_F(VireonOnPipeWire, QuitsPromptlyWhileItsServerIsAway) {
    JackServer midi;
    PipeWireServer pipewire;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = startOn(midi, pipewire);
    ASSERT_TRUE(vireon);
    pipewire.stop();
    ASSERT_TRUE(waitForStatus("2\t!", 3s)) << statusTrace();
    // The fault was a wait on the absent server; expectQuitsCleanly bounds the exit itself.
    const Clock::time_point quitting = Clock::now();
    expectQuitsCleanly(*vireon);
    std::printf("pipewire away: quit in %lld ms\n",
                static_cast<long long>(since(quitting).count()));
}

// Under PipeWire's own JACK the JACK server is the desktop's sound server, though ALSA's default
// output is PipeWire too: the program is one JACK client there, as on jackd, and the library's
// ALSA stream (or its JACK client) is not opened beside it.
TEST_F(VireonOnPipeWire, UnderPipeWiresJackItIsOneJackClient) {
    if (!PipeWireServer::jackInstalled() || !testsupport::findOnPath("jack_midiseq")) {
        GTEST_SKIP() << "PipeWire's JACK or JACK's tools are not installed (Debian packages "
                        "pipewire-jack, jackd2)";
    }
    PipeWireServer pipewire;
    const std::vector<std::string> environment = pipeWireClient(pipewire);
    const auto jackTool = [&](const std::vector<std::string>& command) {
        return runCommand(PipeWireServer::underPipeWireJack(command), environment, 5s);
    };
    auto vireon =
        std::make_unique<RunningProgram>(PipeWireServer::underPipeWireJack({program().string()}),
                                         VireonProgram::environmentFor(environment), folder.path(),
                                         std::vector<std::string>{"QT_QPA_PLATFORM"});
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            return jackTool({"jack_lsp"}).value_or("").find("Vireon:MIDI in") != std::string::npos;
        },
        10s))
        << vireon->errorOutput() << pipewire.log();
    // Every JACK port but the sink's is the program's client's.
    std::set<std::string> programPorts;
    std::istringstream ports(jackTool({"jack_lsp"}).value_or(""));
    for (std::string port; std::getline(ports, port);) {
        if (!port.starts_with(pipewire.sinkName() + ":")) {
            programPorts.insert(port);
        }
    }
    EXPECT_EQ(programPorts, (std::set<std::string>{"Vireon:MIDI in", "Vireon:out_0"}));

    PipeWireRecorder recorder(pipewire);
    ASSERT_TRUE(recorder.waitForSamples(1024, 5s)) << pipewire.log();
    RunningProgram keys(
        PipeWireServer::underPipeWireJack({"jack_midiseq", "keys", "16000", "0", "69", "8000"}),
        environment, folder.path());
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            return jackTool({"jack_connect", "keys:out", "Vireon:MIDI in"}).has_value();
        },
        5s))
        << keys.errorOutput();
    expectSoundsAsRendered(recorder.recordSound(kCompared));
    expectQuitsCleanly(*vireon);
}

// The program plays a JACK server as one client of its own, at the periods a musician and the
// audio library's ALSA plugin each favour, and reaches the new server itself.
class VireonJackRestart : public VireonServerRestart,
                          public ::testing::WithParamInterface<std::uint32_t> {
  protected:
    std::string soundPattern(const RunningProgram& vireon) const { return outputPattern(vireon); }
};

TEST_P(VireonJackRestart, KilledAndStartedAgainItCostsOnlyTheSilence) {
    testsupport::JackServerOptions options;
    options.period = GetParam();
    JackServer server(options);
    auto keyboard = std::make_unique<TestKeyboard>("Vireon test keyboard");
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    {
        // The test's own clients go before the server does: libjack cannot take back a client
        // of a server that has gone once another has been opened, in this process either.
        JackRecorder recorder(server.name());
        recorder.connect(soundPattern(*vireon), 10s);
        ASSERT_TRUE(recorder.waitForSamples(1024, 5s));
    }

    const std::size_t traceBeforeKill = statusTrace().size();
    server.kill();
    keyboard.reset();  // nothing has been opened since, so it can still be closed
    EXPECT_TRUE(waitForStatus("0\tNo MIDI IN", 3s, traceBeforeKill)) << statusTrace();
    expectQuietWhileAway(*vireon, "jack");

    const std::size_t traceBeforeReturn = statusTrace().size();
    const Clock::time_point restarting = Clock::now();
    server.restart();
    const std::chrono::milliseconds serverStart = since(restarting);
    JackRecorder recorder(server.name());
    recorder.connect(soundPattern(*vireon), 3s);
    const std::chrono::milliseconds soundBack = since(restarting);
    EXPECT_TRUE(waitForStatus("2\t", 3s, traceBeforeReturn)) << statusTrace();
    std::printf(
        "jack: output port back %lld ms after the restart began (the server took "
        "%lld ms)\n",
        static_cast<long long>(soundBack.count()), static_cast<long long>(serverStart.count()));
    RecordProperty("jack_sound_back_ms", std::to_string(soundBack.count()));

    // Vireon's own input belongs to the program and comes back by itself; a device chosen in
    // the list does not, but choosing it again brings it back.
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return testsupport::jackPortExists(server.name(), "Vireon:MIDI in"); }, 3s));
    EXPECT_EQ(lastStatus(0), "No MIDI IN");
    keyboard = std::make_unique<TestKeyboard>("Vireon test keyboard");
    const std::size_t traceBeforeChoice = statusTrace().size();
    ASSERT_TRUE(chooseDeviceAgain(findWindow("Vireon")));
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 5s, traceBeforeChoice)) << statusTrace();
    ASSERT_TRUE(recorder.waitForSamples(recorder.samples().size() + 1024, 5s));
    keyboard->noteOn(69);
    expectSoundsAsRendered(recorder.recordSound(kCompared));

    expectQuitsCleanly(*vireon);
}

INSTANTIATE_TEST_SUITE_P(Periods, VireonJackRestart, ::testing::Values(256u, 128u));

}  // namespace
}  // namespace vireon::ui::test
