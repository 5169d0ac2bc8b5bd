// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

namespace vireon::testsupport {

/// A least-squares fit of a sine at exactly `frequency` to `samples` at `rate`: a wrong
/// frequency or level shows in the fit, anything else (images, noise) in what is left over.
struct SineFit {
    double amplitude;
    /// What is left over against the fitted sine's power, in dB.
    double restDb;
};

inline SineFit fitSine(std::span<const float> samples, double frequency, double rate) {
    const auto angle = [&](std::size_t n) { return 2.0 * std::numbers::pi * frequency * n / rate; };
    double ss = 0.0, sc = 0.0, cc = 0.0, ys = 0.0, yc = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double s = std::sin(angle(n)), c = std::cos(angle(n));
        ss += s * s, sc += s * c, cc += c * c, ys += samples[n] * s, yc += samples[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double residual = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double e = samples[n] - (a * std::sin(angle(n)) + b * std::cos(angle(n)));
        residual += e * e;
    }
    const double amplitude = std::hypot(a, b);
    return {amplitude,
            10.0 * std::log10(residual / (amplitude * amplitude / 2.0 * samples.size()))};
}

}  // namespace vireon::testsupport
