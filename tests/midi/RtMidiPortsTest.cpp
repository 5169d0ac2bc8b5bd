// SPDX-License-Identifier: GPL-3.0-or-later
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <RtMidi.h>
#include <gtest/gtest.h>

#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "devices/midi/RtMidiPorts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackServer.h"
#include "tests/support/MidiSender.h"
#include "tests/support/Waiting.h"

namespace vireon::midi {
namespace {

using namespace std::chrono_literals;
using testsupport::ChildOutcome;
using testsupport::JackClientEnvironment;
using testsupport::JackServer;
using testsupport::RecordingSink;
using Sender = testsupport::JackMidiSender;
using testsupport::runInChildProcess;
using testsupport::uniqueJackServerName;
using Texts = std::vector<std::string>;

// libjack names a client's socket after the client, whatever its server: clients of one name
// in test programs running side by side can make each other's open fail. The process id
// keeps each client's name to its own test program.
std::string clientName(const std::string& name) {
    return name + " " + std::to_string(::getpid());
}

const std::string kProgramClient = clientName(RtMidiPorts::kClientName);

// Longer than the 31 characters some platforms cut device names to.
const std::string kKeyboardClient = clientName("Vireon test keyboard with a long name");
const std::string kKeyboardPort = "keys out";

// MIDI arrives within milliseconds; 5 s only tells "late" from "never".
bool waitUntil(const std::function<bool()>& condition) {
    return testsupport::waitUntil(condition, 5s, 1ms);
}

std::optional<int> deviceNamed(RtMidiPorts& ports, const std::string& name) {
    const int count = ports.deviceCount();
    for (int device = 0; device < count; ++device) {
        if (ports.deviceName(device) == name) {
            return device;
        }
    }
    return std::nullopt;
}

class RtMidiPortsOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!JackServer::findJackd()) {
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2): skipped.";
        }
        server = std::make_unique<JackServer>();
        handler.connectStatusSink(&sink);
    }

    std::unique_ptr<JackServer> server;
    engine::SynthState state;
    MidiNoteHandler handler{state};
    RecordingSink sink;
};

TEST_F(RtMidiPortsOnJack, ASenderIsListedInFullAndItsShortMessagesPlay) {
    Sender keys(kKeyboardClient, kKeyboardPort);
    RtMidiPorts ports(handler, kProgramClient);
    const std::optional<int> device = deviceNamed(ports, keys.portName());
    ASSERT_TRUE(device.has_value()) << "not listed: " << keys.portName();
    // RtMidi's JACK client would take part in every cycle of the server: listing leaves none.
    EXPECT_FALSE(testsupport::jackClientExists(server->name(), kProgramClient));
    ASSERT_TRUE(ports.open(*device));
    ASSERT_TRUE(ports.start());

    keys.send({0x90, 69, 100});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 1; }));
    EXPECT_EQ(state.frequency.load(), 440.0);

    // One-byte messages count; system exclusive is not a short message and never arrives.
    keys.send({0xF0, 0x7D, 0x01, 0x02, 0xF7});
    keys.send({0xF8});
    keys.send({0xFE});
    keys.send({0x80, 69, 0});
    ASSERT_TRUE(waitUntil([&] { return state.gate.load() == 0; }));
    EXPECT_EQ(sink.texts(), (Texts{"On", "On", "On", "Off"}));
}

TEST_F(RtMidiPortsOnJack, ClosingEndsTheHeldNoteExactlyOnce) {
    Sender keys(kKeyboardClient, kKeyboardPort);
    {
        RtMidiPorts ports(handler, kProgramClient);
        const std::optional<int> device = deviceNamed(ports, keys.portName());
        ASSERT_TRUE(device.has_value());
        ASSERT_TRUE(ports.open(*device) && ports.start());
        keys.send({0x90, 60, 100});
        keys.send({0x90, 64, 100});
        ASSERT_TRUE(waitUntil([&] { return state.noteCount.load() == 2; }));

        ports.stop();
        ports.close();
        EXPECT_EQ(state.gate.load(), 0);
        EXPECT_EQ(state.noteCount.load(), 0);

        // Another close, or the destructor, telling the handler again would shut this gate.
        state.gate = 1;
        state.noteCount = 1;
        ports.close();
        EXPECT_FALSE(ports.start());
    }
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(sink.texts(), (Texts{"On", "On"}));
}

// The list is taken once while senders come and go: a device stands for its name.
TEST_F(RtMidiPortsOnJack, AVanishedPortFailsToOpenAndAMovedOneIsFoundByName) {
    auto first = std::make_unique<Sender>(clientName("first keyboard"), "out");
    Sender second(clientName("second keyboard"), "out");
    RtMidiPorts ports(handler, kProgramClient);
    const std::optional<int> firstDevice = deviceNamed(ports, first->portName());
    const std::optional<int> secondDevice = deviceNamed(ports, second.portName());
    ASSERT_TRUE(firstDevice && secondDevice);
    // With the first gone, the second moves into its place in the system's own list.
    ASSERT_LT(*firstDevice, *secondDevice);

    first.reset();
    EXPECT_FALSE(ports.open(*firstDevice));
    EXPECT_FALSE(ports.start());

    ASSERT_TRUE(ports.open(*secondDevice) && ports.start());
    second.send({0x90, 69, 100});
    EXPECT_TRUE(waitUntil([&] { return state.gate.load() == 1; }));
}

TEST_F(RtMidiPortsOnJack, DeviceNumbersOutsideTheListDoNotOpen) {
    Sender keys(kKeyboardClient, kKeyboardPort);
    RtMidiPorts ports(handler, kProgramClient);
    const int count = ports.deviceCount();
    ASSERT_GE(count, 1);
    for (const int device : {-1, count, 99}) {
        EXPECT_FALSE(ports.open(device)) << device;
        EXPECT_FALSE(ports.start()) << device;
        EXPECT_FALSE(ports.deviceName(device).has_value()) << device;
    }
}

// A shutdown after the server has died must neither hang nor keep the note sounding.
TEST_F(RtMidiPortsOnJack, ClosingAfterTheServerDiedReturnsAndEndsTheNote) {
    const pid_t serverPid = server->pid();
    const ChildOutcome outcome = runInChildProcess(
        [serverPid] {
            engine::SynthState childState;
            MidiNoteHandler childHandler(childState);
            Sender keys(kKeyboardClient, kKeyboardPort);
            RtMidiPorts ports(childHandler, kProgramClient);
            const std::optional<int> device = deviceNamed(ports, keys.portName());
            if (!device || !ports.open(*device) || !ports.start()) {
                return 1;
            }
            keys.send({0x90, 69, 100});
            if (!waitUntil([&] { return childState.gate.load() == 1; })) {
                return 2;
            }
            ::kill(serverPid, SIGKILL);
            ports.close();
            return childState.gate.load() == 0 ? 0 : 3;
        },
        20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(outcome.errorOutput, "");
}

void printJackMessage(const char* message) {
    std::fprintf(stderr, "%s\n", message);
}

// Without ALSA's sequencer (there is none on a machine without sound cards) and without a JACK
// server there is nothing to list, and the libraries' complaints must not reach the terminal.
TEST(RtMidiPortsWithoutServers, ListNothingOpenNothingAndPrintNothing) {
    const ChildOutcome outcome = runInChildProcess(
        [] {
            const JackClientEnvironment noServer(uniqueJackServerName());
            // The libraries' own printing, which another test of this process may have muted.
            snd_lib_error_set_handler(nullptr);
            jack_set_error_function(printJackMessage);
            jack_set_info_function(printJackMessage);

            engine::SynthState childState;
            MidiNoteHandler childHandler(childState);
            RtMidiPorts ports(childHandler);
            int failures = 0;
            failures |= ports.deviceCount() == 0 ? 0 : 1;
            failures |= ports.open(0) ? 2 : 0;
            failures |= ports.start() ? 4 : 0;
            ports.stop();
            ports.close();
            return failures;
        },
        20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    EXPECT_EQ(outcome.errorOutput, "");
}

}  // namespace
}  // namespace vireon::midi
