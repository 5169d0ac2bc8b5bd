// SPDX-License-Identifier: GPL-3.0-or-later
#include <bit>
#include <cstdint>

#include <gtest/gtest.h>

#include "engine/Constants.h"
#include "engine/Powers.h"
#include "tests/engine/PortableReference.h"
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

// The constant the portable test compares each platform's powers with is MPFR's.
TEST(Powers, PortableReferenceHashIsMpfrs) {
    using test::PowerTable;
    const std::uint64_t hash = test::hashPowerTables([](PowerTable table, int n) {
        switch (table) {
            case PowerTable::Havoc:
                return referencePower(kHavocBase, n);
            case PowerTable::Bedlam:
                return referencePower(kBedlamBase, n);
            case PowerTable::Attack:
                return referencePower(kAttackCurveBase, n);
            case PowerTable::Ramp:
                return referencePower(static_cast<float>(n / 100.0), 5.0);
            case PowerTable::Semitone:
                break;
        }
        return referencePower(2.0, (static_cast<double>(n) - 69.0) / 12.0);
    });
    EXPECT_EQ(hash, test::kPowersReferenceHash) << std::hex << hash;
}

}  // namespace
}  // namespace vireon::engine
