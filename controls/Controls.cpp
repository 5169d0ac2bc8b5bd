// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Controls.h"

#include <algorithm>
#include <cmath>

namespace vireon::controls {

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
