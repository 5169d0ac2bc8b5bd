// SPDX-License-Identifier: GPL-3.0-or-later
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Constants.h"
#include "exactmath/Sine.h"
#include "tests/engine/PortableReference.h"
#include "tests/support/Mpfr.h"

namespace vireon::exactmath {
namespace {

using engine::kTwoPi;
using test::referenceSine;

std::uint64_t bits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

// The oscillator's argument: a single-precision phase times the single-precision 2 pi, exact
// in double precision.
double oscillatorArgument(float phase) {
    return static_cast<double>(phase) * static_cast<double>(kTwoPi);
}

// Counts the arguments whose sine differs from MPFR's, reporting the first few.
int countMismatches(const std::vector<double>& arguments) {
    int mismatches = 0;
    for (const double x : arguments) {
        const double expected = referenceSine(x);
        const double actual = sine(x);
        if (bits(actual) != bits(expected)) {
            if (++mismatches <= 5) {
                ADD_FAILURE() << std::hexfloat << "sin(" << x << ") gave " << actual
                              << ", correctly rounded is " << expected;
            }
        }
    }
    return mismatches;
}

TEST(Sine, ConstantsAgreeWithMpfr) {
    std::uint32_t expected[sine_detail::kInverseTwoPiWords];
    test::referenceInverseTwoPi(expected, sine_detail::kInverseTwoPiWords);
    for (std::size_t i = 0; i < sine_detail::kInverseTwoPiWords; ++i) {
        EXPECT_EQ(sine_detail::inverseTwoPi()[i], expected[i]) << "word " << i;
    }
    for (std::uint32_t i = 0; i < sine_detail::kTableEntries; ++i) {
        const sine_detail::TableEntry& entry = sine_detail::table()[i];
        EXPECT_LE(test::sineTableError(entry.sinHi, entry.sinLo, i, 2048, false), -106) << i;
        EXPECT_LE(test::sineTableError(entry.cosHi, entry.cosLo, i, 2048, true), -106) << i;
    }
}

TEST(Sine, AMillionRandomOscillatorArgumentsAreCorrectlyRounded) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<float> phases(-16777216.0f, 16777216.0f);
    std::vector<double> arguments;
    arguments.reserve(1'000'000);
    for (int i = 0; i < 500'000; ++i) {
        // Uniform over the phase range: mostly large phases, as long notes reach.
        arguments.push_back(oscillatorArgument(phases(random)));
        // Uniform over the bit patterns of |phase| <= 2^24: every binade equally, tiny ones too.
        const auto pattern = static_cast<std::uint32_t>(random() % 0x4B800001u);
        const float phase = std::bit_cast<float>(pattern | (random() % 2 ? 0x80000000u : 0u));
        arguments.push_back(oscillatorArgument(phase));
    }
    EXPECT_EQ(countMismatches(arguments), 0);
}

TEST(Sine, HardCasesAreCorrectlyRounded) {
    std::vector<double> arguments;
    auto withNeighbours = [&](float phase) {
        float below = phase, above = phase;
        for (int i = 0; i < 8; ++i) {
            arguments.push_back(oscillatorArgument(below));
            arguments.push_back(oscillatorArgument(above));
            below = std::nextafter(below, -INFINITY);
            above = std::nextafter(above, INFINITY);
        }
    };
    // Phases nearest to multiples of pi/2 (where sine is tiny or its rounding is closest to 1),
    // across the range: the sine there depends on the reduction's last bits.
    const double quarterTurn = std::acos(0.0) / static_cast<double>(kTwoPi);
    for (double k = 1; k < 4.0 * 16777216.0; k = std::ceil(k * 1.37) + 1) {
        withNeighbours(static_cast<float>(k * quarterTurn));
        withNeighbours(static_cast<float>(-k * quarterTurn));
        withNeighbours(static_cast<float>(k / 4.0));  // whole and quarter cycles
    }
    // Powers of two from the smallest subnormal phase to the largest phases.
    for (int e = -149; e <= 24; ++e) {
        withNeighbours(std::ldexp(1.0f, e));
        withNeighbours(-std::ldexp(1.0f, e));
    }
    withNeighbours(16777216.0f);
    withNeighbours(-16777216.0f);
    EXPECT_EQ(countMismatches(arguments), 0);
}

TEST(Sine, EveryFiniteDoubleHasItsCorrectlyRoundedSine) {
    std::mt19937_64 random(7);
    std::vector<double> arguments{0.0, -0.0, 0x1p-1074, -0x1p-1022, 0x1p-26, 0x1.fffffffffffffp-27,
                                  0x1p64, 0x1.fffffffffffffp63, 1e22, 0x1.fffffffffffffp1023,
                                  -0x1.fffffffffffffp1023,
                                  // Doubles famously close to multiples of pi.
                                  0x1.6ac5b262ca1ffp+849, 0x1.5b5c8c1f4d9dap+1023};
    for (int i = 0; i < 20'000; ++i) {
        double x;
        do {
            x = std::bit_cast<double>(random());
        } while (!std::isfinite(x));
        arguments.push_back(x);
    }
    EXPECT_EQ(countMismatches(arguments), 0);
    EXPECT_TRUE(std::isnan(sine(INFINITY)));
    EXPECT_TRUE(std::isnan(sine(-INFINITY)));
    EXPECT_TRUE(std::isnan(sine(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(bits(sine(-0.0)), bits(-0.0));
}

// The accurate path settles every argument by itself, including those the fast path takes, so
// a fault in either path cannot hide behind the other.
TEST(Sine, AccuratePathAloneIsCorrectlyRounded) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<float> phases(-16777216.0f, 16777216.0f);
    for (int i = 0; i < 20'000; ++i) {
        double x = i % 2 ? oscillatorArgument(phases(random)) : std::bit_cast<double>(random());
        x = std::fabs(x);
        if (!std::isfinite(x) || x < 0x1p-26) {
            continue;
        }
        const RoundedDouble accurate = sine_detail::accurateSine(x);
        ASSERT_TRUE(accurate.decided) << std::hexfloat << x;
        ASSERT_EQ(bits(accurate.value), bits(referenceSine(x))) << std::hexfloat << x;
    }
}

// A rounding test that gave up too often would keep every result right and the render slow.
TEST(Sine, FastPathSettlesAlmostEveryOscillatorArgument) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<float> phases(-16777216.0f, 16777216.0f);
    int settled = 0;
    constexpr int kArguments = 100'000;
    for (int i = 0; i < kArguments; ++i) {
        const double x = std::fabs(oscillatorArgument(phases(random)));
        if (const std::optional<double> fast = sine_detail::fastSine(x)) {
            ++settled;
            ASSERT_EQ(bits(*fast), bits(referenceSine(x))) << std::hexfloat << x;
        }
    }
    EXPECT_GT(settled, kArguments - kArguments / 1000);
}

// The constant the portable test compares each platform's sine with is MPFR's.
TEST(Sine, PortableReferenceHashIsMpfrs) {
    std::uint64_t hash = test::kHashStart;
    for (int i = 0; i < test::kSineReferenceCount; ++i) {
        hash = test::hashDouble(
            hash, referenceSine(test::sineReferenceArgument(static_cast<std::uint32_t>(i))));
    }
    EXPECT_EQ(hash, test::kSineReferenceHash) << std::hex << hash;
}

}  // namespace
}  // namespace vireon::exactmath
