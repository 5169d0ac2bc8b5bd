// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "exactmath/WideFloat.h"

namespace vireon::exactmath {

/// sin(x) correctly rounded to nearest for every finite double; NaN for infinities and NaN.
/// Built from IEEE basic operations and integer arithmetic only, so every conforming compiler
/// and C library gives the same bits. Never allocates or locks. Any thread.
double sine(double x);

namespace sine_detail {

/// Words of 1/(2 pi) below the binary point, most significant last: the fixed-point number
/// floor(2^(32 kInverseTwoPiWords) / (2 pi)).
inline constexpr std::size_t kInverseTwoPiWords = 44;

/// One entry per 1/2048 turn in the first quadrant: sin and cos of 2 pi i / 2048 as
/// double-doubles (hi + lo within 2^-106 of the true value).
struct TableEntry {
    double sinHi;
    double sinLo;
    double cosHi;
    double cosLo;
};
inline constexpr std::size_t kTableEntries = 512;

/// 2 pi / 2048 in four pieces for reducing arguments below 2^28: the first three are its bits
/// from 2^-9 down to 2^-24, 2^-40 and 2^-56, so that their products with any integer below 2^37
/// are exact; the fourth is the rest, rounded to nearest.
inline constexpr std::array<double, 4> kTurnPieces{0x1.921ep-9, 0x1.b544p-25, 0x1.0b4p-43,
                                                   0x1.8469898cc517p-57};

const std::array<std::uint32_t, kInverseTwoPiWords>& inverseTwoPi();
const std::array<TableEntry, kTableEntries>& table();

/// The fast path for 2^-26 <= x < 2^64: the result when its double-double evaluation settles
/// the rounding, nothing when it cannot.
std::optional<double> fastSine(double x);

/// The accurate path for any finite x >= 2^-26, in 160-bit arithmetic or, where that leaves the
/// rounding open, 320-bit; `decided` reports whether its error bound settled the rounding.
RoundedDouble accurateSine(double x);

}  // namespace sine_detail
}  // namespace vireon::exactmath
