// SPDX-License-Identifier: GPL-3.0-or-later
// What defines the converter, at every kind of ratio: a constant passes at exactly the headroom
// gain, the filter is symmetric, and an impulse peaks kHalfLength + 1 engine samples after its
// frame.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "rate/RateRenderer.h"
#include "rate/SincFilter.h"

namespace vireon::rate {
namespace {

constexpr std::uint32_t kRates[] = {22050, 44100, 48000, 96000, 192000, 44101};

// Samples of a constant, or an impulse at sample 0 when `impulse`.
struct Signal {
    bool impulse;
    std::uint64_t position = 0;

    SampleSource source() {
        return {[](void* context, float* output, std::uint32_t count) {
                    auto& signal = *static_cast<Signal*>(context);
                    for (std::uint32_t i = 0; i < count; ++i, ++signal.position) {
                        output[i] = !signal.impulse || signal.position == 0 ? 1.0f : 0.0f;
                    }
                },
                this};
    }
};

TEST(Converter, AConstantPassesAtTheHeadroomGain) {
    for (const std::uint32_t rate : kRates) {
        Signal constant{.impulse = false};
        RateRenderer renderer(constant.source(), rate);
        std::vector<float> out(rate / 4);
        renderer.render(out.data(), static_cast<std::uint32_t>(out.size()));
        // From the first frame whose whole window lies in the signal on.
        const auto settled = static_cast<std::ptrdiff_t>(renderer.frameAt(SincFilter::kTaps));
        const auto worst = std::max_element(out.begin() + settled, out.end(), [](float a, float b) {
            return std::fabs(a - kHeadroomGain) < std::fabs(b - kHeadroomGain);
        });
        EXPECT_NEAR(*worst, kHeadroomGain, 1e-6) << rate << " Hz";
    }
}

TEST(Converter, TheFilterIsSymmetricAndDelaysByHalfItsLengthAndOneSample) {
    using Taps = std::vector<float>;
    const auto taps = [](std::uint64_t phase, std::uint64_t phases) {
        Taps out(SincFilter::kTaps);
        SincFilter::taps(phase, phases, std::span<float, SincFilter::kTaps>(out));
        return out;
    };
    for (const std::uint32_t rate : kRates) {
        const std::uint64_t positions = rate / std::gcd(rate, 8000u);
        // The taps at x and at 1 - x are the same numbers in reverse, bit for bit.
        for (std::uint64_t phase = 0; phase <= std::min<std::uint64_t>(positions, 1000); ++phase) {
            Taps mirrored = taps(positions - phase, positions);
            std::reverse(mirrored.begin(), mirrored.end());
            ASSERT_EQ(taps(phase, positions), mirrored) << rate << " Hz, phase " << phase;
        }
        Signal impulse{.impulse = true};
        RateRenderer renderer(impulse.source(), rate);
        std::vector<float> out(rate / 50);
        renderer.render(out.data(), static_cast<std::uint32_t>(out.size()));
        const auto peak = std::max_element(out.begin(), out.end());
        const std::uint64_t stated = renderer.frameAt(SincFilter::kHalfLength + 1);
        EXPECT_EQ(renderer.latencyFrames(), static_cast<std::uint64_t>(peak - out.begin()));
        if (rate % 8000 == 0) {
            // The output frames fall on the filter's own positions: an exact mirror image.
            ASSERT_EQ(static_cast<std::uint64_t>(peak - out.begin()), stated) << rate << " Hz";
            for (std::ptrdiff_t m = 1; m < peak - out.begin(); ++m) {
                ASSERT_EQ(peak[m], peak[-m]) << rate << " Hz, " << m << " frames from the peak";
            }
        } else {
            EXPECT_NEAR(static_cast<double>(peak - out.begin()), static_cast<double>(stated), 1.0)
                << rate << " Hz";
        }
    }
}

}  // namespace
}  // namespace vireon::rate
