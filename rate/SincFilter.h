// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

namespace vireon::rate {

/// The converter's interpolation filter: a Kaiser-windowed sinc, defined here once and computed
/// with IEEE basic operations and the correctly rounded sine alone, so every target gets the
/// same coefficients to the last bit.
///
/// An output frame at position i + x in the input (0 <= x < 1) is the sum over the taps k = 0 to
/// kTaps - 1 of input[i + k] times h(kHalfLength - 1 + x - k), where, for a distance d in input
/// samples,
///
///     h(d) = sinc(kCutoff d) I0(kBeta sqrt(1 - (d / kHalfLength)^2)) / I0(kBeta)
///                                                          for |d| < kHalfLength, else 0,
///
/// with sinc(u) = sin(pi u) / (pi u) and I0 the modified Bessel function of order 0; the taps of
/// each position are then scaled so that they sum to exactly 1 (before rounding to float), so a
/// constant passes unchanged whatever the position. Zero outside the open interval makes the
/// response exactly symmetric: the taps at x and at 1 - x are the same numbers in reverse.
struct SincFilter {
    /// Input samples on each side of an output frame.
    static constexpr int kHalfLength = 32;
    static constexpr int kTaps = 2 * kHalfLength;
    /// The sinc's cut-off as a fraction of the engine's Nyquist frequency (4000 Hz), and the
    /// window's shape (larger: further down in the stop band, a wider transition). Chosen with
    /// the rate benchmark: within 2.5 dB up to 3.6 kHz, the images of every tone up to 3.6 kHz
    /// more than 125 dB down (at 4.4 kHz and above), and no higher peaks between the 8000 Hz
    /// samples than a converter that cuts off lower would reveal, which the headroom gain
    /// (rate/RateRenderer.h) covers.
    static constexpr double kCutoff = 0.925;
    static constexpr double kBeta = 13.0;

    /// The taps for position x = phase / phases (phase <= phases), in input order.
    static void taps(std::uint64_t phase, std::uint64_t phases, std::span<float, kTaps> out);
};

}  // namespace vireon::rate
