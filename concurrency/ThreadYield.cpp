// SPDX-License-Identifier: GPL-3.0-or-later
#include "concurrency/ThreadYield.h"

#include <thread>

namespace vireon::concurrency {

void yieldThread() noexcept {
    std::this_thread::yield();
}

}  // namespace vireon::concurrency
