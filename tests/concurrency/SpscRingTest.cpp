// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <chrono>
#include <cstddef>
#include <numeric>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/SpscRing.h"
#include "tests/support/StressDuration.h"

namespace vireon::concurrency {
namespace {

using namespace std::chrono_literals;

TEST(SpscRing, HandsValuesOverInOrderAcrossTheWrapAndNeverOverfills) {
    SpscRing<int, 8> ring;
    std::array<int, 16> in{};
    std::iota(in.begin(), in.end(), 1);
    std::array<int, 16> out{};

    EXPECT_EQ(ring.pop(out.data(), out.size()), 0u);
    EXPECT_EQ(ring.push(in.data(), 5), 5u);
    EXPECT_EQ(ring.pop(out.data(), 3), 3u);
    EXPECT_EQ((std::vector<int>(out.begin(), out.begin() + 3)), (std::vector<int>{1, 2, 3}));
    // Two waiting and room for six: of ten offered, six fit, and they wrap past the end.
    EXPECT_EQ(ring.push(in.data() + 5, 10), 6u);
    EXPECT_EQ(ring.available(), 8u);
    EXPECT_EQ(ring.push(in.data(), 1), 0u);
    EXPECT_EQ(ring.pop(out.data(), out.size()), 8u);
    EXPECT_EQ((std::vector<int>(out.begin(), out.begin() + 8)),
              (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(ring.available(), 0u);
}

// The audio callback writes blocks of samples that count up; the scope reads whatever has
// arrived. Every value must come out exactly once and in order: a value seen twice, skipped or
// mixed with an older one was torn between the threads.
struct Pacing {
    std::chrono::microseconds betweenBlocks;
    std::chrono::microseconds betweenReads;
};

void handOverCountingSamples(Pacing pacing) {
    constexpr std::size_t kBlock = 256;
    // Exact in float up to 2^24, far more than a run hands over.
    SpscRing<float, 4096> ring;
    std::atomic<bool> stop{false};
    std::size_t produced = 0;
    std::size_t refused = 0;

    std::thread audio([&] {
        std::array<float, kBlock> block{};
        do {
            for (std::size_t i = 0; i < kBlock; ++i) {
                block[i] = static_cast<float>(produced + i);
            }
            // A full ring refuses the rest; the next block goes on from the first refused value
            // so that the sequence stays whole.
            const std::size_t taken = ring.push(block.data(), kBlock);
            refused += kBlock - taken;
            produced += taken;
            std::this_thread::sleep_for(pacing.betweenBlocks);
        } while (!stop.load(std::memory_order_relaxed) && produced < (1u << 24) - kBlock);
    });

    std::size_t consumed = 0;
    std::size_t wrong = 0;
    std::vector<float> frame(4096);
    const auto until = std::chrono::steady_clock::now() + testsupport::stressDuration();
    auto drain = [&] {
        const std::size_t count = ring.pop(frame.data(), frame.size());
        for (std::size_t i = 0; i < count; ++i) {
            wrong += frame[i] != static_cast<float>(consumed + i) ? 1 : 0;
        }
        consumed += count;
    };
    while (std::chrono::steady_clock::now() < until) {
        drain();
        std::this_thread::sleep_for(pacing.betweenReads);
    }
    stop = true;
    audio.join();
    drain();

    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(consumed, produced);
    EXPECT_GT(produced, 0u);
    ::testing::Test::RecordProperty("refused", std::to_string(refused));
}

TEST(SpscRing, AudioRateWriterAndRepaintRateReaderSeeEverySampleOnce) {
    // 256 samples at 8000 Hz every 32 ms; a repaint about every 33 ms.
    handOverCountingSamples({32ms, 33ms});
}

TEST(SpscRing, WriterAndReaderAtFullSpeedSeeEverySampleOnce) {
    handOverCountingSamples({0us, 0us});
}

}  // namespace
}  // namespace vireon::concurrency
