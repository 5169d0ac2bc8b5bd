// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "controls/Controls.h"

namespace vireon::sounds {

/// A named setting of every control: a factory sound or one the user saved. The positions
/// lie within each control's range whenever a Sound comes from parseSound.
struct Sound {
    std::string name;
    /// One line saying what it sounds like; may be empty.
    std::string description;
    /// The position of each control, in the table's order.
    std::array<int, controls::kControlCount> positions{};

    int position(controls::ControlId id) const { return positions[static_cast<std::size_t>(id)]; }

    friend bool operator==(const Sound&, const Sound&) = default;
};

}  // namespace vireon::sounds
