// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vireon::plugin {

/// Index of each port, as the bundle's Turtle numbers them.
enum Port : std::uint32_t {
    kMidiInPort = 0,
    kAudioOutPort = 1,
    kLatencyPort = 2,
    kFirstControlPort = 3,
};

/// The input controls, in port order from kFirstControlPort on.
enum class Control : std::size_t { Havoc, Bedlam, Attack, Decay, Sustain, Release, Disorder };
inline constexpr std::size_t kControlCount = 7;

/// A control's symbol, range and default, which are the range and start-up position of the
/// program's slider or number box it stands for.
struct ControlDescription {
    std::string_view symbol;
    int min;
    int max;
    int initial;
};

/// Every input control in port order; the Turtle declares the same values.
extern const std::array<ControlDescription, kControlCount> kControls;

/// The description of one control.
const ControlDescription& controlDescription(Control control);

/// The slider position a host's control value stands for: rounded to the nearest integer and
/// held within the control's range. A NaN means nothing, so it keeps `current`. Any thread.
int controlPosition(float value, const ControlDescription& control, int current);

}  // namespace vireon::plugin
