// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "controls/Controls.h"

namespace vireon::plugin {

/// Index of each port, as the bundle's Turtle numbers them.
enum Port : std::uint32_t {
    kMidiInPort = 0,
    kAudioOutPort = 1,
    kLatencyPort = 2,
    /// The controls follow in the table's order.
    kFirstControlPort = 3,
};

using Control = controls::ControlId;
using controls::kControlCount;

}  // namespace vireon::plugin
