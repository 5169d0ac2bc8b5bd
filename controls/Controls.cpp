// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Controls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vireon::controls {

std::string valueText(const Control& control, int position) {
    const std::string number = std::to_string(position);
    switch (control.unit) {
        case Unit::Milliseconds:
            return number + " ms";
        case Unit::Percent:
            return number + " %";
        case Unit::Semitones:
            return number + " semitones";
        case Unit::Samples: {
            // Samples of 1/8000 s: eight to the millisecond.
            char text[32];
            std::snprintf(text, sizeof text, "%.7g ms", position / 8.0);
            return text;
        }
        case Unit::None:
            break;
    }
    return number;
}

std::optional<ControlId> controlWithSymbol(std::string_view symbol) noexcept {
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (kControls[i].symbol == symbol) {
            return static_cast<ControlId>(i);
        }
    }
    return std::nullopt;
}

int controlPosition(float value, const Control& control, int current) noexcept {
    if (std::isnan(value)) {
        return current;
    }
    // Clamped before rounding, so infinities and huge values never reach the integer conversion.
    const float held =
        std::clamp(value, static_cast<float>(control.min), static_cast<float>(control.max));
    return static_cast<int>(std::nearbyint(held));
}

}  // namespace vireon::controls
