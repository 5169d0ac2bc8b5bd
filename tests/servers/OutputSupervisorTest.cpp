// SPDX-License-Identifier: GPL-3.0-or-later
// The output's state machine: what each sequence of events leaves, and what that state lets the
// audio output do. The rule that matters most: nothing that belongs to a JACK server that has gone
// is ever closed or terminated.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "devices/servers/OutputSupervisor.h"

namespace vireon::servers {
namespace {

using namespace std::chrono_literals;
using State = OutputSupervisor::State;

// One letter an event: I/i initialised with/without a JACK client of its own, o opened,
// f open failed (which must terminate only a fresh library), L JACK server lost, t released and
// terminated, k released and kept, a abandoned.
OutputSupervisor run(const std::string& events) {
    OutputSupervisor supervisor;
    for (const char event : events) {
        const bool fresh = supervisor.state() == State::Ready;
        if (event == 'I' || event == 'i') {
            supervisor.initialised(event == 'I');
        } else if (event == 'o') {
            supervisor.opened();
        } else if (event == 'f') {
            EXPECT_EQ(supervisor.openFailed(), fresh) << events;
        } else if (event == 'L') {
            supervisor.jackServerLost();
        } else if (event == 't' || event == 'k') {
            supervisor.released(event == 't', {});
        } else {
            supervisor.abandoned();
        }
    }
    return supervisor;
}

TEST(OutputSupervisor, EachSequenceEndsInItsStateWithItsRelease) {
    struct Case {
        const char* what;
        const char* events;
        State state;
        bool close;
        bool terminate;
    };
    const Case cases[] = {
        {"an open stream on a fresh library is released in full", "Io", State::Playing, true, true},
        {"a stalled stream's library terminated: closed", "Iot", State::Closed, false, false},
        {"JACK lost under a stream: the stream is left alone", "IoL", State::PlayingPastLoss, false,
         false},
        {"that stream let go: the library is kept", "IoLk", State::Stranded, false, false},
        {"a release that kept the library strands it too", "Iok", State::Stranded, false, false},
        {"a stream on a stranded library is closed, the library kept", "IoLko",
         State::StrandedPlaying, true, false},
        {"a second loss under it", "IoLkoL", State::PlayingPastLoss, false, false},
        {"the library reopened after a terminate plays afresh", "IotIo", State::Playing, true,
         true},
        {"a library with its own JACK client, lost before a stream", "IL", State::Stranded, false,
         false},
        {"a library without one is not stranded by the loss", "iL", State::Ready, true, true},
        {"a loss with nothing open changes nothing", "L", State::Closed, false, false},
        {"abandoned is final", "IoatIo", State::Abandoned, false, false},
        {"a failed first open terminates the library", "If", State::Closed, false, false},
        {"a failed open on a stranded library keeps it", "Iokf", State::Stranded, false, false},
    };
    for (const Case& c : cases) {
        const OutputSupervisor supervisor = run(c.events);
        EXPECT_EQ(supervisor.state(), c.state) << c.what;
        EXPECT_EQ(supervisor.release().close, c.close) << c.what;
        EXPECT_EQ(supervisor.release().terminate, c.terminate) << c.what;
    }
}

TEST(OutputSupervisor, StallsAfterSilenceAndReopensOnlyWithoutAStream) {
    const OutputSupervisor::Clock::time_point start{};
    OutputSupervisor supervisor = run("Io");
    supervisor.started(start, 7);
    EXPECT_FALSE(supervisor.stalled(start + 500ms, 7));
    EXPECT_FALSE(supervisor.stalled(start + 1000ms, 8)) << "the callback ran again";
    EXPECT_TRUE(supervisor.stalled(start + 1700ms, 8));
    EXPECT_FALSE(supervisor.reopenDue(start + 60s)) << "a stream is still open";

    supervisor.released(true, start + 2s);
    EXPECT_FALSE(supervisor.reopenDue(start + 2500ms));
    EXPECT_TRUE(supervisor.reopenDue(start + 3s)) << "a second after the loss";
}

// Where every server's return shows as a sign, a lost output waits for one: no attempt costs a
// library initialisation for nothing. A sign seen while the stream still seemed to play (a server
// restarting at once) still counts; one from before the stream opened does not.
TEST(OutputSupervisor, WithSignsCoveringTheServersALostOutputWaitsForOne) {
    const OutputSupervisor::Clock::time_point start{};
    const auto attemptsAfter = [&](bool signBeforeOpen, bool signWhilePlaying, bool byChoice) {
        OutputSupervisor supervisor;
        supervisor.setSignsCoverServers(true);
        if (signBeforeOpen) {
            supervisor.signOfLife();
        }
        supervisor.initialised(false);
        supervisor.opened();
        if (signWhilePlaying) {
            supervisor.signOfLife();
        }
        supervisor.released(true, start, byChoice);
        int attempts = 0;
        for (auto at = start; at <= start + 60s; at += 250ms) {
            attempts += supervisor.reopenDue(at) ? 1 : 0;
        }
        return attempts;
    };
    EXPECT_EQ(attemptsAfter(false, false, false), 0) << "no sign, none";
    EXPECT_EQ(attemptsAfter(true, false, false), 0) << "the sign before the stream opened";
    EXPECT_GT(attemptsAfter(false, true, false), 0) << "a sign before the loss was seen";
    EXPECT_GT(attemptsAfter(false, false, true), 0) << "released to open it again";

    OutputSupervisor uncovered = run("Io");
    uncovered.released(true, start);
    EXPECT_TRUE(uncovered.reopenDue(start + 1s)) << "no sign needed where signs can be missed";
}

}  // namespace
}  // namespace vireon::servers
