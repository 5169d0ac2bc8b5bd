// SPDX-License-Identifier: GPL-3.0-or-later
// Vireon played end to end as a user plays it: the program runs as a process on a private X
// server, a test keyboard (a JACK MIDI client) appears in its device list, and a JACK recorder
// captures its sound, all through one private JACK dummy server.

#include <RtMidi.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackPorts.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"

namespace vireon::ui::test {
namespace {

using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;
using testsupport::JackRecorder;
using testsupport::JackServer;

// The recorder's sound from its first non-zero sample on must be, bit for bit, the renderer's
// `note` from its attack on, for `kCompared` samples. Returns the recording's sample at which
// the sound began, or nothing when too little sounded.
constexpr std::size_t kCompared = 4000;
std::optional<std::size_t> expectSoundsAsRendered(JackRecorder& recorder, int note) {
    std::vector<float> recorded = recorder.recordSound(kCompared);
    const std::size_t soundAt = recorder.samples().size() - recorded.size();
    const std::vector<float> rendered = alignAtFirstNonZero(renderedNote(note, 12000));
    if (recorded.size() < kCompared || rendered.size() < kCompared) {
        ADD_FAILURE() << "recorded " << recorded.size() << " and rendered " << rendered.size()
                      << " samples of sound, fewer than " << kCompared;
        return std::nullopt;
    }
    recorded.resize(kCompared);
    EXPECT_EQ(firstBitDifference(
                  recorded, std::vector<float>(rendered.begin(), rendered.begin() + kCompared)),
              kCompared);
    return soundAt;
}

// From the recording's sample count when the note was sent to the sample where it sounds. The
// fade of 1001 samples before every attack is part of the instrument, not latency.
double latencyMs(std::size_t sentAt, std::size_t soundAt) {
    return (static_cast<double>(soundAt) - static_cast<double>(sentAt) - 1001) * 1000.0 / 8000.0;
}

using VireonPlayed = VireonProgram;

TEST_F(VireonPlayed, APhraseFromAKeyboardSoundsAsTheRendererRendersIt) {
    JackServer server;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);
    ASSERT_TRUE(recorder.waitForSamples(1024, 5s));

    const std::size_t sentAt = recorder.samples().size();
    keyboard.noteOn(69);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    // Nothing in this stretch changes the sound: clock bytes, a channel-2 note, active sensing.
    std::this_thread::sleep_for(700ms);
    keyboard.send({0xF8});
    keyboard.send({0xF8});
    keyboard.send({0x91, 60, 100});
    keyboard.send({0xFE});
    std::this_thread::sleep_for(300ms);
    keyboard.noteOn(72);  // legato: the pitch changes, the envelope goes on
    std::this_thread::sleep_for(300ms);
    keyboard.noteOff(72);
    keyboard.noteOff(69);
    ASSERT_TRUE(waitForStatus("1\tOff", 5s)) << statusTrace();
    keyboard.noteOff(50);  // a key never pressed

    // The first note is fully determined from its attack until the legato note.
    const std::optional<std::size_t> soundAt = expectSoundsAsRendered(recorder, 69);
    ASSERT_TRUE(soundAt.has_value());
    const double latency = latencyMs(sentAt, *soundAt);
    RecordProperty("midi_to_sound_latency_ms", std::to_string(latency));
    std::printf("MIDI to sound latency: about %.0f ms\n", latency);

    const std::string window = findWindow("Vireon");
    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
    const std::string trace = statusTrace();
    EXPECT_EQ(trace.substr(trace.rfind("1\t")), "1\tOff\n") << trace;
}

TEST_F(VireonPlayed, SwitchingTheDeviceEndsTheNoteAndTheNewDevicePlays) {
    JackServer server;
    TestKeyboard first("Vireon test keyboard A");
    TestKeyboard second("Vireon test keyboard B");
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);

    first.noteOn(60);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    ASSERT_GT(recorder.recordSound(2000).size(), 0u);

    // The device list has the keyboard focus first; an arrow key picks the next entry.
    const std::string window = findWindow("Vireon");
    const std::size_t traceBeforeSwitch = statusTrace().size();
    ASSERT_TRUE(pressKey(window, "Down"));
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 5s, traceBeforeSwitch)) << statusTrace();
    // The held note was released by the switch: after its release time the sound has stopped,
    // though the first keyboard's key is still down.
    std::this_thread::sleep_for(1700ms);
    EXPECT_TRUE(silentFor(recorder, 800));

    const std::size_t traceBeforeNote = statusTrace().size();
    second.noteOn(64);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s, traceBeforeNote)) << statusTrace();
    EXPECT_FALSE(silentFor(recorder, 2000));

    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
}

TEST_F(VireonPlayed, KeepsRunningWhenTheKeyboardVanishesMidNote) {
    JackServer server;
    auto keyboard = std::make_unique<TestKeyboard>("Vireon test keyboard");
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    keyboard->noteOn(60);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s));
    keyboard.reset();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(vireon->running());
    ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

TEST_F(VireonPlayed, QuitsNormallyAfterTheServerCarryingItsMidiVanished) {
    JackServer server;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    keyboard.noteOn(60);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s));
    server.kill();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(vireon->running());
    ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
    EXPECT_EQ(vireon->waitForExit(8s), 0) << vireon->errorOutput();
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

// With no device chosen in the list, a real external sequencer wired to Vireon's own input from
// outside plays it, sample for sample as the renderer plays the same note.
TEST_F(VireonPlayed, ASequencerConnectedToItsOwnInputPlaysWithNoDeviceChosen) {
    JackServer server;
    auto vireon = start(server);
    // Nothing to list yet, so no entry is selected and no device is open.
    ASSERT_TRUE(waitForStatus("0\tNo MIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    ASSERT_TRUE(testsupport::jackPortExists(server.name(), "Vireon:MIDI in"));
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);

    // A 10 s loop that plays note 69 for 3 s from its third second on: the sequencer plays
    // from the moment it starts, and the note must not pass before the cable is in.
    RunningProgram sequencer(
        {"/usr/bin/jack_midiseq", "sequencer", "80000", "24000", "69", "24000"},
        server.clientEnvironment(), folder.path());
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return testsupport::jackPortExists(server.name(), "sequencer:out"); }, 5s));
    ASSERT_TRUE(runCommand({"/usr/bin/jack_connect", "sequencer:out", "Vireon:MIDI in"},
                           server.clientEnvironment(), 10s))
        << sequencer.errorOutput();
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();

    EXPECT_TRUE(expectSoundsAsRendered(recorder, 69).has_value());

    ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
}

// A newcomer without MIDI hardware: Ctrl+K opens the keyboard window, Z plays middle C as the
// renderer plays it, and the scope draws it. Measures the time from the key to the sound.
TEST_F(VireonPlayed, TheOnScreenKeyboardPlaysAndItsScopeShowsTheNote) {
    JackServer server;
    auto vireon = start(server);
    ASSERT_TRUE(waitForStatus("0\tNo MIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);
    ASSERT_TRUE(recorder.waitForSamples(1024, 5s));

    const std::string window = findWindow("Vireon");
    ASSERT_TRUE(pressKey(window, "ctrl+k"));
    const std::string keyboard = findWindow("Vireon keyboard");
    ASSERT_FALSE(keyboard.empty());
    const std::vector<std::string> x11 = {display.environmentEntry()};
    ASSERT_TRUE(runCommand({"/usr/bin/xdotool", "windowfocus", "--sync", keyboard}, x11, 5s));

    const std::size_t sentAt = recorder.samples().size();
    ASSERT_TRUE(runCommand({"/usr/bin/xdotool", "keydown", "z"}, x11, 5s));
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    const std::optional<std::size_t> soundAt = expectSoundsAsRendered(recorder, 60);
    ASSERT_TRUE(soundAt.has_value());
    const double latency = latencyMs(sentAt, *soundAt);
    RecordProperty("keyboard_to_sound_latency_ms", std::to_string(latency));
    std::printf("On-screen keyboard to sound latency: about %.0f ms\n", latency);

    // A few repaints later the scope shows the held note, the key drawn pressed.
    std::this_thread::sleep_for(300ms);
    screenshot(keyboard, "keyboard-window-playing.png");
    ASSERT_TRUE(runCommand({"/usr/bin/xdotool", "keyup", "z"}, x11, 5s));
    ASSERT_TRUE(waitForStatus("1\tOff", 5s)) << statusTrace();

    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
}

}  // namespace
}  // namespace vireon::ui::test
