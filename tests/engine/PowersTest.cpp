#include <bit>
#include <cstdint>

#include <gtest/gtest.h>

#include "engine/Constants.h"
#include "engine/Powers.h"
#include "tests/support/Mpfr.h"

namespace vireon::engine {
namespace {

using test::referencePower;

std::uint64_t bits(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

TEST(Powers, EveryTableEntryIsSettledAndEqualsMpfr) {
    EXPECT_TRUE(powerTablesSettled());
    for (int n = 1; n <= 100; ++n) {
        EXPECT_EQ(bits(havocPower(n)), bits(referencePower(kHavocBase, n))) << n;
        EXPECT_EQ(bits(bedlamPower(n)), bits(referencePower(kBedlamBase, n))) << n;
    }
    for (std::int32_t a = 1; a <= 2000; ++a) {
        EXPECT_EQ(bits(attackPower(a)), bits(referencePower(kAttackCurveBase, a))) << a;
    }
    for (std::int32_t c = 0; c < kRampSamples; ++c) {
        const double fraction = static_cast<float>(c / 100.0);
        EXPECT_EQ(bits(rampPower(c)), bits(referencePower(fraction, 5.0))) << c;
    }
    for (std::uint32_t note = 0; note <= 127; ++note) {
        const double exponent = (static_cast<double>(note) - 69.0) / 12.0;
        EXPECT_EQ(bits(semitonePower(note)), bits(referencePower(2.0, exponent))) << note;
    }
}

TEST(Powers, InputsOutsideTheControlsRangesAreClamped) {
    EXPECT_EQ(havocPower(0), havocPower(1));
    EXPECT_EQ(havocPower(1000), havocPower(100));
    EXPECT_EQ(bedlamPower(-5), bedlamPower(1));
    EXPECT_EQ(attackPower(2001), attackPower(2000));
    EXPECT_EQ(rampPower(-1), 0.0);
    EXPECT_EQ(semitonePower(255), semitonePower(127));
    EXPECT_EQ(semitonePower(69), 1.0);
}

}  // namespace
}  // namespace vireon::engine
