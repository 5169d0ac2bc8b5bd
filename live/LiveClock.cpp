// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveClock.h"

#include <chrono>

namespace vireon::live {

ClockReading monotonicClock() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace vireon::live
