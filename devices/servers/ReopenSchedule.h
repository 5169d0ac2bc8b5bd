// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace vireon::servers {

/// When to try the sound output again while it has none. Each attempt initialises the audio
/// library afresh, which costs tens of milliseconds of processor time, so the attempts thin out
/// the longer the server stays away; a sign that a server came back (a socket appearing) brings
/// the next attempt forward and keeps them coming once a second for a while, as a server may
/// take a moment to offer its device. UI thread.
class ReopenSchedule {
  public:
    using Clock = std::chrono::steady_clock;

    /// The output was lost at `now`: the first attempt follows a second later, for a server
    /// that restarts at once. With `awaitSign`, when the signs cover every place a server could
    /// come back, no attempt is made until the first sign: each would initialise the audio
    /// library for nothing.
    void lost(Clock::time_point now, bool awaitSign = false);

    /// Whether to attempt now, given whether a sign of a server's return was seen since the
    /// last call; an attempt is taken to follow at once when it returns true.
    bool due(Clock::time_point now, bool signOfLife);

    /// The longest gap between attempts: with no sign at all the output is still tried this
    /// often, in case a server came back where nothing is watched.
    static constexpr std::chrono::seconds kLongestGap{30};
    /// How long after a sign attempts come once a second.
    static constexpr std::chrono::seconds kAfterSign{5};

  private:
    Clock::time_point next_{};
    Clock::time_point lastAttempt_{};
    Clock::time_point keenUntil_{};
    Clock::duration gap_{};
    bool awaitingSign_ = false;
};

}  // namespace vireon::servers
