// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Pitch.h"

#include <cmath>

namespace vireon::engine {
namespace {

// ln 2 rounded to double.
constexpr double kLn2 = 0x1.62e42fefa39efp-1;
// Terms of e^t up to t^kTerms / kTerms!: for 0 <= t < ln 2 the first term left out is below
// 2^-70 of the sum.
constexpr int kTerms = 20;

}  // namespace

double semitoneRatio(double semitones) {
    if (semitones == 0.0) {
        return 1.0;
    }
    // 2^x = 2^whole * e^(fraction * ln 2). floor, the subtraction and ldexp are exact, so only
    // the series rounds, the same way everywhere (the engine is built without contraction).
    const double octaves = semitones / 12.0;
    const double whole = std::floor(octaves);
    const double t = (octaves - whole) * kLn2;
    double sum = 1.0;
    for (int n = kTerms; n >= 1; --n) {
        sum = 1.0 + sum * t / n;
    }
    return std::ldexp(sum, static_cast<int>(whole));
}

}  // namespace vireon::engine
