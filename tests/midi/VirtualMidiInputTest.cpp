// SPDX-License-Identifier: GPL-3.0-or-later
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "devices/midi/VirtualMidiInput.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackPorts.h"
#include "tests/support/JackServer.h"
#include "tests/support/MidiSender.h"
#include "tests/support/Waiting.h"

namespace vireon::midi {
namespace {

using namespace std::chrono_literals;
using testsupport::ChildOutcome;
using testsupport::connectJackPorts;
using testsupport::jackPortExists;
using testsupport::JackServer;
using testsupport::RecordingSink;
using testsupport::waitUntil;
using Sender = testsupport::JackMidiSender;

// Client names carry the process id: libjack names a client's socket after the client alone,
// so test programs running side by side would otherwise disturb each other.
std::string clientName(const std::string& name) {
    return name + " " + std::to_string(::getpid());
}

class VirtualMidiInputOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!JackServer::findJackd()) {
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2): skipped.";
        }
        server = std::make_unique<JackServer>();
        handler.connectStatusSink(&sink);
    }

    bool connect(const Sender& sender) {
        return connectJackPorts(server->name(), sender.portName(), port, 5s);
    }

    std::unique_ptr<JackServer> server;
    engine::SynthState state;
    MidiNoteHandler handler{state};
    RecordingSink sink;
    const std::string client = clientName(VirtualMidiInput::kClientName);
    const std::string port = client + ":" + VirtualMidiInput::kPortName;
};

// A sequencer and a virtual keyboard wired to the port at once play one instrument: their
// notes merge into one count, latest note wins.
TEST_F(VirtualMidiInputOnJack, EveryProgramConnectedPlaysAndTheirNotesMerge) {
    VirtualMidiInput input(handler, client);
    ASSERT_EQ(input.open(), 1);
    EXPECT_TRUE(jackPortExists(server->name(), port));
    Sender sequencer(clientName("sequencer"), "out");
    Sender keyboard(clientName("virtual keyboard"), "out");
    ASSERT_TRUE(connect(sequencer));
    ASSERT_TRUE(connect(keyboard));

    sequencer.send({0x90, 60, 100});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 1; }, 5s, 1ms));
    keyboard.send({0x90, 69, 100});
    ASSERT_TRUE(waitUntil([&] { return state.noteCount.load() == 2; }, 5s, 1ms));
    EXPECT_EQ(state.frequency.load(), 440.0);
    sequencer.send({0x80, 60, 0});
    ASSERT_TRUE(waitUntil([&] { return state.noteCount.load() == 1; }, 5s, 1ms));
    EXPECT_EQ(state.gate.load(), 1);
    keyboard.send({0x80, 69, 0});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 0; }, 5s, 1ms));
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"On", "On", "On", "Off"}));
}

// Withdrawing the port ends what it held, since no note-off can arrive any more; opening it
// again, as after a sound-server restart, is one call and plays at once.
TEST_F(VirtualMidiInputOnJack, ClosingEndsHeldNotesAndOpeningAgainBringsThePortBack) {
    VirtualMidiInput input(handler, client);
    ASSERT_EQ(input.open(), 1);
    auto sequencer = std::make_unique<Sender>(clientName("sequencer"), "out");
    ASSERT_TRUE(connect(*sequencer));
    sequencer->send({0x90, 60, 100});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 1; }, 5s, 1ms));

    input.close();
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_FALSE(jackPortExists(server->name(), port));
    EXPECT_EQ(input.openSystems(), 0);

    ASSERT_EQ(input.open(), 1);
    ASSERT_EQ(input.open(), 1) << "opening again replaces the port, it does not add one";
    ASSERT_TRUE(connect(*sequencer));
    sequencer->send({0x90, 64, 100});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 1; }, 5s, 1ms));
    EXPECT_NEAR(state.frequency.load(), 329.63, 0.01);
}

void printJackMessage(const char* message) {
    std::fprintf(stderr, "%s\n", message);
}

// No ALSA sequencer (there is none on a machine without sound cards) and no JACK server: the
// port is offered nowhere, and nothing reaches the terminal.
TEST(VirtualMidiInputWithoutServers, OffersNothingAndPrintsNothing) {
    const ChildOutcome outcome = testsupport::runInChildProcess(
        [] {
            const testsupport::JackClientEnvironment noServer(testsupport::uniqueJackServerName());
            snd_lib_error_set_handler(nullptr);
            jack_set_error_function(printJackMessage);
            jack_set_info_function(printJackMessage);

            engine::SynthState childState;
            MidiNoteHandler childHandler(childState);
            VirtualMidiInput input(childHandler);
            const int offered = input.open();
            input.close();
            return offered;
        },
        20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(outcome.errorOutput, "");
}

}  // namespace
}  // namespace vireon::midi
