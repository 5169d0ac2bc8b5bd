// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::test {

// MPFR as the reference for the engine's correctly rounded functions: every result is rounded
// to nearest double with the double's exponent range, subnormals included.

/// sin(x) correctly rounded; NaN for infinities and NaN.
double referenceSine(double x);

/// base^exponent correctly rounded (exponent an integer or any double).
double referencePower(double base, double exponent);

/// floor(2^bits / (2 pi)), as 32-bit words, least significant first.
void referenceInverseTwoPi(std::uint32_t* words, int wordCount);

/// The distance from hi + lo to sin(2 pi numerator / denominator), as a power-of-two exponent
/// bound: returns the smallest e (down to -200) with |hi + lo - sin| < 2^e.
int sineTableError(double hi, double lo, std::uint32_t numerator, std::uint32_t denominator,
                   bool cosine);

/// The distance from the sum of `parts` to 2 pi / denominator, as sineTableError gives it.
int turnFractionError(const double* parts, int count, std::uint32_t denominator);

}  // namespace vireon::test
