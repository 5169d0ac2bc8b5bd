// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/OutputSupervisor.h"

#include <utility>

namespace vireon::servers {

namespace {

// A running stream is called every few tens of milliseconds (a server's period, or at most the
// suggested latency); one that has not been called for this long has lost its server.
constexpr std::chrono::milliseconds kStallLimit{600};

}  // namespace

bool OutputSupervisor::streamOpen() const {
    return state_ == State::Playing || state_ == State::PlayingPastLoss ||
           state_ == State::StrandedPlaying;
}

void OutputSupervisor::initialised(bool usesJack) {
    if (state_ == State::Closed) {
        state_ = State::Ready;
        libraryUsesJack_ = usesJack;
    }
}

void OutputSupervisor::opened() {
    signPending_ = false;
    if (state_ == State::Ready) {
        state_ = State::Playing;
    } else if (state_ == State::Stranded) {
        state_ = State::StrandedPlaying;
    }
}

bool OutputSupervisor::openFailed() {
    if (state_ != State::Ready) {
        return false;
    }
    state_ = State::Closed;
    libraryUsesJack_ = false;
    return true;
}

void OutputSupervisor::started(Clock::time_point now, std::uint32_t callbacks) {
    // The first callback comes within a period or two; until then the stream is not stalled.
    lastCallbacks_ = callbacks;
    lastCallbackSeen_ = now;
}

bool OutputSupervisor::stalled(Clock::time_point now, std::uint32_t callbacks) {
    if (callbacks != lastCallbacks_) {
        lastCallbacks_ = callbacks;
        lastCallbackSeen_ = now;
    }
    return now - lastCallbackSeen_ > kStallLimit;
}

void OutputSupervisor::jackServerLost() {
    if (state_ == State::Playing || state_ == State::StrandedPlaying) {
        // A stream open then was probably on that server, directly or through ALSA.
        state_ = State::PlayingPastLoss;
    } else if (state_ == State::Ready && libraryUsesJack_) {
        state_ = State::Stranded;
    }
}

OutputSupervisor::Release OutputSupervisor::release() const {
    switch (state_) {
        case State::Ready:
        case State::Playing:
            return {true, true};
        case State::StrandedPlaying:
            return {true, false};
        default:
            return {false, false};
    }
}

void OutputSupervisor::released(bool terminated, Clock::time_point now, bool byChoice) {
    if (state_ == State::Abandoned) {
        return;
    }
    state_ = terminated ? State::Closed : State::Stranded;
    if (terminated) {
        libraryUsesJack_ = false;
    }
    reopenSchedule_.lost(now, signsCoverServers_ && !byChoice);
}

bool OutputSupervisor::reopenDue(Clock::time_point now) {
    if (state_ != State::Closed && state_ != State::Stranded) {
        return false;
    }
    return reopenSchedule_.due(now, std::exchange(signPending_, false));
}

}  // namespace vireon::servers
