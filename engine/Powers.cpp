// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Powers.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/Constants.h"
#include "exactmath/WideFloat.h"

namespace vireon::engine {
namespace {

using exactmath::RoundedDouble;
using exactmath::WideFloat;
namespace wide = exactmath::wide;

// 256-bit mantissas: every table entry below is known to within 2^13 ulp (2^-242 relative), so
// it is correctly rounded unless the true power lies that close to a midpoint between doubles;
// roundToDouble reports that case, and none of the entries comes near it.
constexpr std::size_t kWords = 8;
using Wide = WideFloat<kWords>;
constexpr std::int64_t kErrorUlpsLog2 = 13;

bool gSettled = true;

double settle(const Wide& value) {
    const RoundedDouble rounded = wide::roundToDouble(value, value.exponent + kErrorUlpsLog2);
    gSettled = gSettled && rounded.decided;
    return rounded.value;
}

/// base^1 .. base^N by repeated multiplication; each product truncates by under 2^-255
/// (relative), so base^n is within 2 n ulp.
template <std::size_t N>
std::array<double, N> integerPowers(double base) {
    static_assert(2 * N < (1u << kErrorUlpsLog2));
    std::array<double, N> powers{};
    const Wide wideBase = wide::fromDouble<kWords>(base);
    Wide power = wideBase;
    for (std::size_t n = 0; n < N; ++n) {
        powers[n] = settle(power);
        power = wide::multiply(power, wideBase);
    }
    return powers;
}

std::array<double, kRampSamples> rampPowers() {
    std::array<double, kRampSamples> powers{};
    for (std::int32_t counter = 0; counter < kRampSamples; ++counter) {
        const double fraction = static_cast<float>(counter / 100.0);
        const Wide base = wide::fromDouble<kWords>(fraction);
        Wide power = base;
        for (int i = 1; i < 5; ++i) {
            power = wide::multiply(power, base);
        }
        powers[static_cast<std::size_t>(counter)] = counter == 0 ? 0.0 : settle(power);
    }
    return powers;
}

/// ln 2 = sum over k >= 1 of 1 / (k 2^k), to 2^-270.
Wide logTwo() {
    Wide sum{};
    for (std::uint32_t k = 1; k < 270; ++k) {
        sum = wide::add(sum, wide::scaleByPowerOfTwo(wide::divide(wide::fromUint64<kWords>(1), k),
                                                     -static_cast<std::int32_t>(k)));
    }
    return sum;
}

/// e^y for 0 <= y < 1 by Taylor series. With y = f ln 2 and ln 2 within 2^-246 (relative),
/// 2^f is within 2^12 ulp: 2^11 from ln 2, a few hundred from the terms' truncations.
Wide exponential(const Wide& y) {
    Wide sum = wide::fromUint64<kWords>(1);
    Wide term = sum;
    for (std::uint32_t n = 1; n < 100; ++n) {
        term = wide::divide(wide::multiply(term, y), n);
        if (wide::isZero(term) || term.exponent + 32 * static_cast<std::int64_t>(kWords) < -270) {
            break;
        }
        sum = wide::add(sum, term);
    }
    return sum;
}

std::array<double, 128> semitonePowers() {
    const Wide ln2 = logTwo();
    std::array<double, 128> powers{};
    for (int note = 0; note < 128; ++note) {
        const double exponent = (static_cast<double>(note) - 69.0) / 12.0;
        const double whole = std::floor(exponent);
        // exponent - whole, exactly: in double precision it rounds for negative exponents.
        const Wide fraction = exponent >= 0.0 ? wide::subtract(wide::fromDouble<kWords>(exponent),
                                                               wide::fromDouble<kWords>(whole))
                                              : wide::subtract(wide::fromDouble<kWords>(-whole),
                                                               wide::fromDouble<kWords>(-exponent));
        const Wide scaled = wide::multiply(fraction, ln2);
        const Wide power =
            wide::scaleByPowerOfTwo(exponential(scaled), static_cast<std::int32_t>(whole));
        powers[static_cast<std::size_t>(note)] = settle(power);
    }
    return powers;
}

// The tables hold base^1 onwards.
static_assert(kHavocRange.min == 1 && kBedlamRange.min == 1 && AdsrSettings::kAttackMin == 1);
const auto kHavocPowers = integerPowers<kHavocRange.max>(kHavocBase);
const auto kBedlamPowers = integerPowers<kBedlamRange.max>(kBedlamBase);
const auto kAttackPowers = integerPowers<AdsrSettings::kAttackMax>(kAttackCurveBase);
const std::array<double, kRampSamples> kRampPowers = rampPowers();
const std::array<double, 128> kSemitonePowers = semitonePowers();

template <std::size_t N>
double lookUp(const std::array<double, N>& table, std::int64_t index, std::int64_t first) {
    const std::int64_t clamped = std::clamp<std::int64_t>(index - first, 0, N - 1);
    return table[static_cast<std::size_t>(clamped)];
}

}  // namespace

double havocPower(int position) {
    return lookUp(kHavocPowers, position, kHavocRange.min);
}

double bedlamPower(int position) {
    return lookUp(kBedlamPowers, position, kBedlamRange.min);
}

double attackPower(std::int32_t attack) {
    return lookUp(kAttackPowers, attack, AdsrSettings::kAttackMin);
}

double rampPower(std::int32_t counter) {
    return lookUp(kRampPowers, counter, 0);
}

double semitonePower(std::uint32_t note) {
    return lookUp(kSemitonePowers, note, 0);
}

bool powerTablesSettled() {
    return gSettled;
}

}  // namespace vireon::engine
