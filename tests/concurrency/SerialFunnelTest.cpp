// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/SerialFunnel.h"
#include "tests/support/StressDuration.h"

namespace vireon::concurrency {
namespace {

struct Item {
    std::uint32_t thread = 0;
    std::uint32_t sequence = 0;
};

// Several threads submit numbered items as fast as they can; a queue of only 4 makes them
// meet it full too. The handler must never run on two threads at once, must see each thread's
// items in order, and must have seen every item once all threads are done.
TEST(SerialFunnel, ThreadsSubmittingAtOnceAreHandledOneAtATimeInOrder) {
    constexpr std::uint32_t kThreads = 4;
    SerialFunnel<Item, 4> funnel;
    std::atomic<int> inside{0};
    std::atomic<std::uint64_t> overlaps{0};
    // Plain data on purpose: only the handler touches it, so any overlap is also a data race
    // for ThreadSanitizer.
    std::vector<std::uint32_t> next(kThreads, 0);
    std::uint64_t outOfOrder = 0;
    std::uint64_t handled = 0;
    auto handle = [&](const Item& item) {
        if (inside.fetch_add(1) != 0) {
            ++overlaps;
        }
        outOfOrder += item.sequence != next[item.thread] ? 1 : 0;
        next[item.thread] = item.sequence + 1;
        ++handled;
        inside.fetch_sub(1);
    };

    std::atomic<bool> stop{false};
    std::vector<std::uint32_t> submitted(kThreads, 0);
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            do {
                funnel.submit({t, submitted[t]++}, handle);
            } while (!stop.load(std::memory_order_relaxed));
        });
    }
    std::this_thread::sleep_for(testsupport::stressDuration());
    stop = true;
    std::uint64_t total = 0;
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        threads[t].join();
        total += submitted[t];
    }

    EXPECT_EQ(overlaps.load(), 0u);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(handled, total);
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(next[t], submitted[t]) << "thread " << t;
    }
}

TEST(SerialFunnel, AnItemWhoseHandlingThrowsIsDroppedAndTheRestGoOn) {
    SerialFunnel<int, 4> funnel;
    std::vector<int> seen;
    auto handle = [&](int item) {
        if (item == 2) {
            throw std::runtime_error("refused");
        }
        seen.push_back(item);
    };
    for (int item = 1; item <= 6; ++item) {
        funnel.submit(item, handle);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace vireon::concurrency
