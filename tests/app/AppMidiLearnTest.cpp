// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI controller learned in the real program moves Havoc as the renderer moves it with the
// same bindings, sample for sample, and the binding is still there after a restart.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"

namespace vireon::ui::test {
namespace {

using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;

constexpr std::size_t kCompared = 12000;
// The program applies events at the start of a JACK period.
constexpr std::size_t kBlock = 256;

class VireonLearning : public VireonProgram {
  protected:
    std::filesystem::path controllersFile() const { return folder.path() / "controllers.txt"; }

    // vireon-render of `events` with the program's controllers file, as it left it.
    std::vector<float> rendered(const std::string& events) {
        writeFile(folder.path() / "events.txt", events);
        const auto raw =
            runCommand({VIREON_RENDER, "--controllers", controllersFile().string(), "--events",
                        (folder.path() / "events.txt").string(), "--length", "16000", "-o", "-"},
                       {}, 30s);
        std::vector<float> samples(raw ? raw->size() / sizeof(float) : 0);
        if (raw) {
            std::memcpy(samples.data(), raw->data(), samples.size() * sizeof(float));
        }
        return samples;
    }

    // The program with a keyboard wired to its own input, and a recorder on its output.
    struct Session {
        std::unique_ptr<RunningProgram> vireon;
        std::unique_ptr<TestKeyboard> keyboard;
        std::unique_ptr<testsupport::JackRecorder> recorder;
    };
    Session startWired(const testsupport::JackServer& server) {
        const std::size_t traceFrom = statusTrace().size();
        Session s{start(server), nullptr, nullptr};
        // The device list is empty at start-up, so only Vireon's own input hears the keyboard.
        EXPECT_TRUE(waitForStatus("0\tNo MIDI IN", 10s, traceFrom)) << statusTrace();
        s.keyboard = std::make_unique<TestKeyboard>("learn keys");
        EXPECT_TRUE(runCommand({"/usr/bin/jack_connect", "learn keys:keys", "Vireon:MIDI in"},
                               server.clientEnvironment(), 10s));
        s.recorder = std::make_unique<testsupport::JackRecorder>(server.name());
        s.recorder->connect(outputPattern(*s.vireon), 10s);
        return s;
    }

    void quit(RunningProgram& vireon) {
        ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
        EXPECT_EQ(vireon.waitForExit(5s), 0) << vireon.errorOutput();
    }
};

TEST_F(VireonLearning, ALearnedControllerMovesHavocAsTheRendererDoesAndIsRemembered) {
    testsupport::JackServer server;
    Session s = startWired(server);
    const std::string window = findWindow("Vireon");
    // The Havoc slider's context menu, then its first entry: "Learn MIDI controller".
    ASSERT_TRUE(runCommand(
        {"/usr/bin/xdotool", "mousemove", "--window", window, "110", "125", "click", "3"},
        {display.environmentEntry()}, 5s));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(runCommand({"/usr/bin/xdotool", "key", "Down", "Return"},
                           {display.environmentEntry()}, 5s));
    std::this_thread::sleep_for(300ms);
    s.keyboard->send({0xB0, 21, 0});
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return readFile(controllersFile()).find("\nhavoc 21\n") != std::string::npos; }, 5s))
        << readFile(controllersFile());

    // One value before the note, one while it sounds.
    s.keyboard->send({0xB0, 21, 100});
    std::this_thread::sleep_for(200ms);
    s.keyboard->noteOn(69);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    std::this_thread::sleep_for(400ms);
    s.keyboard->send({0xB0, 21, 127});
    std::vector<float> recorded = s.recorder->recordSound(kCompared);
    ASSERT_GE(recorded.size(), kCompared);
    recorded.resize(kCompared);

    // Where the second value took effect is a block boundary after the note's: the first
    // difference from a rendering without it says which.
    const std::string before = "0 0xB0 21 100\n0 0x90 69 100\n";
    const std::vector<float> full = rendered(before);
    const std::size_t onset = full.size() - alignAtFirstNonZero(full).size();
    const std::size_t differs = firstBitDifference(recorded, alignAtFirstNonZero(full));
    ASSERT_LT(differs, kCompared) << "the second control change changed nothing";
    std::optional<std::size_t> tookEffectAt;
    const std::size_t lastBoundary = (onset + differs) / kBlock * kBlock;
    for (std::size_t back = 0; back <= kBlock && back <= lastBoundary; back += kBlock) {
        const std::size_t at = lastBoundary - back;
        const std::vector<float> candidate =
            alignAtFirstNonZero(rendered(before + std::to_string(at) + " 0xB0 21 127\n"));
        if (firstBitDifference(recorded, candidate) == kCompared) {
            tookEffectAt = at;
        }
    }
    EXPECT_TRUE(tookEffectAt.has_value()) << "first difference at sound sample " << differs;

    s.keyboard->noteOff(69);
    quit(*s.vireon);
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
    s = {};  // the keyboard too: the next start must find no device to open

    // Started again, the program knows the controller before any note.
    Session again = startWired(server);
    again.keyboard->send({0xB0, 21, 127});
    std::this_thread::sleep_for(200ms);
    again.keyboard->noteOn(69);
    std::vector<float> replayed = again.recorder->recordSound(kCompared);
    replayed.resize(std::min(replayed.size(), kCompared));
    EXPECT_EQ(firstBitDifference(replayed,
                                 alignAtFirstNonZero(rendered("0 0xB0 21 127\n0 0x90 69 100\n"))),
              kCompared);
    quit(*again.vireon);
}

}  // namespace
}  // namespace vireon::ui::test
