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
    EXPECT_FALSE(supervisor.reopenDue(start + 60s, true)) << "a stream is still open";

    supervisor.released(true, start + 2s);
    EXPECT_FALSE(supervisor.reopenDue(start + 2500ms, false));
    EXPECT_TRUE(supervisor.reopenDue(start + 3s, false)) << "a second after the loss";
}

}  // namespace
}  // namespace vireon::servers
