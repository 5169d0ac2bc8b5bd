// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/Constants.h"

namespace vireon::test {

// Hashes that tie every platform to MPFR without MPFR: the accuracy tests (where MPFR exists)
// check that MPFR's values hash to these constants, and the portable tests check that the
// engine's values on the platform at hand do too.

inline constexpr int kSineReferenceCount = 1'000'000;

/// The i-th oscillator argument of the sine reference: a single-precision phase in +-2^24 times
/// the single-precision 2 pi, every binade of phases covered.
inline double sineReferenceArgument(std::uint32_t i) {
    std::uint64_t state = (i + 1) * 0x9E3779B97F4A7C15u;
    state ^= state >> 29;
    state *= 0xBF58476D1CE4E5B9u;
    state ^= state >> 32;
    const auto pattern = static_cast<std::uint32_t>(state % 0x4B800001u);
    const float phase = std::bit_cast<float>(pattern | ((state >> 40) & 1 ? 0x80000000u : 0u));
    return static_cast<double>(phase) * static_cast<double>(engine::kTwoPi);
}

inline constexpr std::uint64_t kHashStart = 14695981039346656037u;

/// Folds the low `bytes` bytes of a bit pattern into an FNV-1a hash, least significant first
/// whatever the platform's byte order.
inline std::uint64_t hashBits(std::uint64_t hash, std::uint64_t bits, int bytes) {
    for (int byte = 0; byte < bytes; ++byte) {
        hash ^= (bits >> (8 * byte)) & 0xFF;
        hash *= 1099511628211u;
    }
    return hash;
}

inline std::uint64_t hashDouble(std::uint64_t hash, double value) {
    return hashBits(hash, std::bit_cast<std::uint64_t>(value), 8);
}

/// The hash of the correctly rounded sine of every reference argument, in order.
inline constexpr std::uint64_t kSineReferenceHash = 0x0d4e850fd1801ef1;

/// The hash of every power table entry: Havoc, Bedlam, attack, ramp, then note pitch, each
/// entry given by `power(table, input)`.
enum class PowerTable { Havoc, Bedlam, Attack, Ramp, Semitone };
template <class Power>
std::uint64_t hashPowerTables(Power power) {
    std::uint64_t hash = kHashStart;
    for (int n = 1; n <= 100; ++n) {
        hash = hashDouble(hash, power(PowerTable::Havoc, n));
    }
    for (int n = 1; n <= 100; ++n) {
        hash = hashDouble(hash, power(PowerTable::Bedlam, n));
    }
    for (int a = 1; a <= 2000; ++a) {
        hash = hashDouble(hash, power(PowerTable::Attack, a));
    }
    for (int c = 0; c < 100; ++c) {
        hash = hashDouble(hash, power(PowerTable::Ramp, c));
    }
    for (int note = 0; note <= 127; ++note) {
        hash = hashDouble(hash, power(PowerTable::Semitone, note));
    }
    return hash;
}

inline constexpr std::uint64_t kPowersReferenceHash = 0x4ea168faa5713e1d;

}  // namespace vireon::test
