// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/CallWithin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

namespace vireon::servers {
namespace {

using namespace std::chrono_literals;

TEST(CallWithin, AFinishedCallIsWaitedForAndItsWaitsGoThroughTheWaitFunction) {
    bool called = false;
    int waits = 0;
    EXPECT_TRUE(callWithin(
        [&] {
            std::this_thread::sleep_for(20ms);
            called = true;
        },
        5s,
        [&](std::chrono::milliseconds wait) {
            ++waits;
            std::this_thread::sleep_for(wait);
        }));
    EXPECT_TRUE(called);
    EXPECT_GT(waits, 0);
}

// A call that hangs (a server that stopped answering) is left to its helper at the deadline;
// the helper goes on with what it shares and can still finish later.
TEST(CallWithin, AHangingCallIsLeftRunningAtTheDeadline) {
    auto release = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(callWithin(
        [release, finished, gate = release->get_future().share()] {
            gate.wait();
            finished->store(true);
        },
        100ms));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(finished->load());

    release->set_value();
    while (!finished->load()) {
        std::this_thread::sleep_for(1ms);
    }
}

TEST(CallWithin, AnExceptionFromTheWaitPassesOnAndLeavesTheHelper) {
    auto release = std::make_shared<std::promise<void>>();
    EXPECT_THROW(callWithin([gate = release->get_future().share()] { gate.wait(); }, 5s,
                            [](std::chrono::milliseconds) { throw std::runtime_error("quit"); }),
                 std::runtime_error);
    release->set_value();
}

}  // namespace
}  // namespace vireon::servers
