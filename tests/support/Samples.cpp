// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Samples.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "tests/support/Waiting.h"

namespace vireon::testsupport {

std::vector<float> alignAtFirstNonZero(const std::vector<float>& samples) {
    const auto first =
        std::find_if(samples.begin(), samples.end(), [](float sample) { return sample != 0.0f; });
    return std::vector<float>(first, samples.end());
}

std::vector<float> waitForSound(const std::function<std::vector<float>()>& recording,
                                std::size_t count, std::chrono::milliseconds timeout,
                                std::chrono::milliseconds interval) {
    std::vector<float> sound;
    waitUntil(
        [&] {
            sound = alignAtFirstNonZero(recording());
            return sound.size() >= count;
        },
        timeout, interval);
    return sound;
}

std::size_t firstBitDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t length = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < length; ++i) {
        if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) {
            return i;
        }
    }
    return length;
}

std::optional<std::uint32_t> matchingOnsetPhase(
    const std::vector<float>& recorded, std::size_t count, std::uint32_t phases,
    const std::function<std::vector<float>(std::uint32_t)>& reference) {
    if (recorded.size() < count) {
        return std::nullopt;
    }
    const std::vector<float> compared(recorded.begin(), recorded.begin() + count);
    for (std::uint32_t phase = 0; phase < phases; ++phase) {
        if (firstBitDifference(compared, alignAtFirstNonZero(reference(phase))) == count) {
            return phase;
        }
    }
    return std::nullopt;
}

}  // namespace vireon::testsupport
