// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/OfflineRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vireon::offline {
namespace {

TEST(OfflineRender, OutputIsTheSameForEveryBlockSize) {
    // Messages fall inside blocks of every size tried, two share a sample, and a legato note-on
    // and the final note-off land mid-block; the last one lies beyond the rendering.
    const std::vector<TimedMessage> messages = {
        {3, 0x644590},  {1001, 0x504890}, {1001, 0xF8},   {2500, 0x4580},
        {4099, 0x4880}, {4100, 0x704290}, {6001, 0x4280}, {9000, 0x704590},
    };
    RenderSettings settings;
    settings.attack = 200;
    settings.decay = 300;
    settings.release = 150;
    settings.havoc = 60;

    for (const std::uint32_t rate : {8000u, 44100u, 48000u}) {
        if (!rate::isSupportedOutputRate(rate)) {
            continue;  // a build without a converter
        }
        SCOPED_TRACE(rate);
        settings.rate = rate;
        settings.blockFrames = 1;
        const std::vector<float> reference = renderOffline(settings, messages, 9000);
        ASSERT_EQ(reference.size(), outputFrames(settings, 9000));
        ASSERT_TRUE(
            std::any_of(reference.begin(), reference.end(), [](float x) { return x != 0; }));

        for (const std::uint32_t blockFrames : {7u, 256u, 4096u, kMaxBlockFrames}) {
            SCOPED_TRACE(blockFrames);
            settings.blockFrames = blockFrames;
            std::size_t largestBlock = 0;
            std::vector<float> samples;
            EXPECT_TRUE(renderOffline(settings, messages, 9000, [&](std::span<const float> block) {
                largestBlock = std::max(largestBlock, block.size());
                samples.insert(samples.end(), block.begin(), block.end());
                return true;
            }));
            EXPECT_EQ(largestBlock, std::min<std::size_t>(blockFrames, reference.size()));
            ASSERT_EQ(samples.size(), reference.size());
            // Bit for bit: equal floats could still hide a difference in the sign of a zero.
            EXPECT_EQ(std::memcmp(samples.data(), reference.data(), samples.size() * sizeof(float)),
                      0);
        }
    }
}

TEST(OfflineRender, StopsWhenTheSinkFails) {
    RenderSettings settings;
    settings.blockFrames = 100;
    int blocks = 0;
    EXPECT_FALSE(
        renderOffline(settings, {}, 1000, [&](std::span<const float>) { return ++blocks < 3; }));
    EXPECT_EQ(blocks, 3);
}

}  // namespace
}  // namespace vireon::offline
