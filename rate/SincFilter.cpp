// SPDX-License-Identifier: GPL-3.0-or-later
#include "rate/SincFilter.h"

#include <algorithm>
#include <array>
#include <numbers>

#include "exactmath/Sine.h"

namespace vireon::rate {
namespace {

// I0 from its power series, sum over n of (z^2 / 4)^n / (n!)^2, given z^2: the window needs no
// square root. For z up to kBeta the terms fall below a double's resolution of the sum long
// before the last of these.
double besselI0FromSquare(double zSquared) {
    const double quarter = zSquared / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 48; ++n) {
        term = term * quarter / (static_cast<double>(n) * n);
        sum += term;
    }
    return sum;
}

double response(double distance) {
    constexpr double kHalf = SincFilter::kHalfLength;
    if (distance <= -kHalf || distance >= kHalf) {
        return 0.0;
    }
    const double t = distance / kHalf;
    const double window =
        besselI0FromSquare(SincFilter::kBeta * SincFilter::kBeta * (1.0 - t * t)) /
        besselI0FromSquare(SincFilter::kBeta * SincFilter::kBeta);
    if (distance == 0.0) {
        return window;
    }
    const double angle = std::numbers::pi * (SincFilter::kCutoff * distance);
    return exactmath::sine(angle) / angle * window;
}

}  // namespace

void SincFilter::taps(std::uint64_t phase, std::uint64_t phases, std::span<float, kTaps> out) {
    // Each distance as one rounding of an exact integer ratio, so that the distances at x and at
    // 1 - x are exactly each other's negatives.
    const auto n = static_cast<std::int64_t>(phases);
    const auto p = static_cast<std::int64_t>(phase);
    std::array<double, kTaps> values;
    for (int k = 0; k < kTaps; ++k) {
        values[k] =
            response(static_cast<double>((kHalfLength - 1 - k) * n + p) / static_cast<double>(n));
    }
    // Summed smallest first, in an order that does not depend on the taps' order, so that the
    // taps at x and at 1 - x get the same scale.
    std::array<double, kTaps> sorted = values;
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) {
        return (a < 0 ? -a : a) < (b < 0 ? -b : b) ||
               ((a < 0 ? -a : a) == (b < 0 ? -b : b) && a < b);
    });
    double sum = 0.0;
    for (const double value : sorted) {
        sum += value;
    }
    for (int k = 0; k < kTaps; ++k) {
        out[k] = static_cast<float>(values[k] / sum);
    }
}

}  // namespace vireon::rate
