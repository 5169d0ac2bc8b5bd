// SPDX-License-Identifier: GPL-3.0-or-later
// Checks the engine's sine against MPFR for every single-precision phase p with |p| <= 2^24
// cycles: the argument p * 2 pi (both single precision, multiplied exactly in double), for p and
// -p. Not part of the test suite: it takes about a quarter of an hour of one core. Usage:
//   vireon_sine_exhaustive FIRST LAST   checks the phases whose bit patterns lie in [FIRST, LAST)
// (0 to 0x4B800001 is the whole range) and prints how many it checked and how many differed.

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/Constants.h"
#include "exactmath/Sine.h"
#include "tests/support/Mpfr.h"

int main(int argc, char** argv) {
    using namespace vireon;
    constexpr std::uint64_t kEnd = 0x4B800001u;  // one past the pattern of 2^24
    if (argc != 3) {
        std::fprintf(stderr,
                     "Usage: %s FIRST LAST (bit patterns of non-negative phases, up to 0x%llX)\n",
                     argv[0], static_cast<unsigned long long>(kEnd));
        return 2;
    }
    const std::uint64_t first = std::strtoull(argv[1], nullptr, 0);
    std::uint64_t last = std::strtoull(argv[2], nullptr, 0);
    if (last > kEnd) {
        last = kEnd;
    }
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t checked = 0;
    std::uint64_t differing = 0;
    for (std::uint64_t pattern = first; pattern < last; ++pattern) {
        const float phase = std::bit_cast<float>(static_cast<std::uint32_t>(pattern));
        const double x = static_cast<double>(phase) * static_cast<double>(engine::kTwoPi);
        const double expected = test::referenceSine(x);
        const double positive = exactmath::sine(x);
        const double negative = exactmath::sine(-x);
        checked += pattern == 0 ? 1 : 2;  // +0 and -0 are one phase apart only in sign
        if (std::bit_cast<std::uint64_t>(positive) != std::bit_cast<std::uint64_t>(expected) ||
            std::bit_cast<std::uint64_t>(negative) != std::bit_cast<std::uint64_t>(-expected)) {
            if (++differing <= 20) {
                std::printf("phase %a: sine %a, -phase: %a, correctly rounded %a\n",
                            static_cast<double>(phase), positive, negative, expected);
            }
        }
        if ((pattern & 0xFFFFFF) == 0 && pattern != first) {
            std::fprintf(stderr, "at 0x%08llX: %llu checked, %llu differing\n",
                         static_cast<unsigned long long>(pattern),
                         static_cast<unsigned long long>(checked),
                         static_cast<unsigned long long>(differing));
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("patterns [0x%08llX, 0x%08llX): %llu arguments checked, %llu differing, %.0f s\n",
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(last),
                static_cast<unsigned long long>(checked),
                static_cast<unsigned long long>(differing), seconds);
    return differing == 0 ? 0 : 1;
}
