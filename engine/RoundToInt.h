// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace vireon::engine {

/// Rounds to the nearest integer, ties to even (the default floating-point rounding mode).
/// Values outside the int32 range, infinities and NaN give INT32_MIN, the result the hardware
/// conversion produces; the silent 8000 / 0.0 Hz case of the first note's fade relies on it.
inline std::int32_t roundToInt32(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(rounded);
}

}  // namespace vireon::engine
