// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/ReopenSchedule.h"

#include <algorithm>

namespace vireon::servers {

namespace {

constexpr std::chrono::seconds kFirstGap{1};
// Never closer than this, however many signs come.
constexpr std::chrono::milliseconds kShortestGap{500};
// Each gap without a sign this many times the last: a few attempts in the first seconds, for a
// server that is only restarting, then hardly any.
constexpr int kGrowth = 4;

}  // namespace

void ReopenSchedule::lost(Clock::time_point now, bool awaitSign) {
    awaitingSign_ = awaitSign;
    gap_ = kFirstGap;
    next_ = now + kFirstGap;
    lastAttempt_ = now;
    keenUntil_ = now;
}

bool ReopenSchedule::due(Clock::time_point now, bool signOfLife) {
    if (awaitingSign_ && !signOfLife) {
        return false;
    }
    if (signOfLife) {
        awaitingSign_ = false;
        keenUntil_ = now + kAfterSign;
        next_ = std::min(next_, std::max(now, lastAttempt_ + kShortestGap));
    }
    if (now < next_) {
        return false;
    }
    lastAttempt_ = now;
    if (now < keenUntil_) {
        next_ = now + kFirstGap;
    } else {
        gap_ = std::min<Clock::duration>(gap_ * kGrowth, kLongestGap);
        next_ = now + gap_;
    }
    return true;
}

}  // namespace vireon::servers
