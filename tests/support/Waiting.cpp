// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Waiting.h"

#include <thread>

namespace vireon::testsupport {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval) {
    const auto giveUpAt = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace vireon::testsupport
