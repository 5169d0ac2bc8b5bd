// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/MpscQueue.h"
#include "tests/support/StressDuration.h"

namespace vireon::concurrency {
namespace {

struct Item {
    std::uint32_t thread = 0;
    std::uint32_t sequence = 0;
};

// Several threads push numbered items as fast as they can while one thread takes them; a queue
// of only 8 makes them meet it full too, and a refused item is pushed again. The taker must see
// each thread's items in order and, once all are done, every item exactly once.
TEST(MpscQueue, ProducersAtOnceLoseNothingAndKeepTheirOrder) {
    constexpr std::uint32_t kThreads = 4;
    MpscQueue<Item, 8> queue;
    std::vector<std::uint32_t> next(kThreads, 0);
    std::uint64_t outOfOrder = 0;
    std::uint64_t taken = 0;
    auto take = [&](const Item& item) {
        outOfOrder += item.sequence != next[item.thread] ? 1 : 0;
        next[item.thread] = item.sequence + 1;
        ++taken;
    };

    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> producing{kThreads};
    std::vector<std::uint32_t> pushed(kThreads, 0);
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!stop.load(std::memory_order_relaxed)) {
                while (!queue.push({t, pushed[t]})) {
                    std::this_thread::yield();
                }
                ++pushed[t];
            }
            producing.fetch_sub(1);
        });
    }
    std::thread consumer([&] {
        while (producing.load() != 0) {
            queue.popAll(take);
        }
        queue.popAll(take);
    });
    std::this_thread::sleep_for(testsupport::stressDuration());
    stop = true;
    std::uint64_t total = 0;
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        threads[t].join();
        total += pushed[t];
    }
    consumer.join();

    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(taken, total);
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(next[t], pushed[t]) << "thread " << t;
    }
}

TEST(MpscQueue, AFullQueueRefusesAndTakesAgainOnceEmptied) {
    MpscQueue<int, 4> queue;
    for (int item = 1; item <= 4; ++item) {
        EXPECT_TRUE(queue.push(item));
    }
    EXPECT_FALSE(queue.push(5));
    std::vector<int> seen;
    EXPECT_EQ(queue.popAll([&](int item) { seen.push_back(item); }), 4u);
    EXPECT_TRUE(queue.push(6));
    queue.popAll([&](int item) { seen.push_back(item); });
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 6}));
}

// Looking at the oldest item leaves it, and its room, in place until it is popped.
TEST(MpscQueue, FrontLeavesTheOldestItemUntilPopped) {
    MpscQueue<int, 2> queue;
    EXPECT_EQ(queue.front(), nullptr);
    EXPECT_TRUE(queue.push(1));
    EXPECT_TRUE(queue.push(2));
    ASSERT_NE(queue.front(), nullptr);
    EXPECT_EQ(*queue.front(), 1);
    EXPECT_FALSE(queue.push(3));
    queue.pop();
    EXPECT_EQ(*queue.front(), 2);
    EXPECT_TRUE(queue.push(3));
    std::vector<int> seen;
    queue.popAll([&](int item) { seen.push_back(item); });
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
    EXPECT_EQ(queue.front(), nullptr);
}

}  // namespace
}  // namespace vireon::concurrency
