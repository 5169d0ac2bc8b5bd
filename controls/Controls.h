// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vireon::controls {

/// The instrument's controls, in the order the plugin numbers its ports.
enum class ControlId : std::uint8_t { Havoc, Bedlam, Attack, Decay, Sustain, Release, Disorder };
inline constexpr std::size_t kControlCount = 7;

/// When a new position reaches the sound.
enum class Acts {
    AtOnce,
    /// The envelope reads its settings as a note starts; a sounding note keeps its own.
    AtNextNote,
    /// Read once from the settings file as the program starts.
    AtNextStart,
};

/// What a position counts, where it counts something people have a unit for.
enum class Unit { None, Milliseconds, Percent };

/// One control, described once: the program's window, vireon-render's options and help and the
/// plugin's Turtle are all made from this.
struct Control {
    /// The plugin's port symbol, and the renderer's option without its "--". Hosts store it in
    /// their sessions, so it never changes.
    std::string_view symbol;
    /// The full name, as hosts show it.
    std::string_view name;
    /// The name as the program's window shows it above the control.
    std::string_view label;
    int min;
    int max;
    /// The start-up position.
    int initial;
    int step;
    Unit unit;
    /// In the plugin and the renderer, which take every control as the host or the command line
    /// sends it.
    Acts acts;
    /// In the program, where Disorder is read from the settings file at start-up only.
    Acts actsInProgram;
    /// One line for help texts: what the position does to the sound.
    std::string_view description;
};

inline constexpr std::array<Control, kControlCount> kControls{{
    {"havoc", "Havoc", "Havoc", 1, 100, 45, 1, Unit::None, Acts::AtOnce, Acts::AtOnce,
     "The circle map's additive term, exponential in the position."},
    {"bedlam", "Bedlam", "Bedlam", 1, 100, 30, 1, Unit::None, Acts::AtOnce, Acts::AtOnce,
     "The circle map's coupling strength, exponential in the position."},
    {"attack", "Attack", "A", 1, 2000, 1, 1, Unit::None, Acts::AtNextNote, Acts::AtNextNote,
     "Attack time, exponential in the position: 1 is 0.1 ms, 1000 is 17 ms, 2000 is 3 s."},
    {"decay", "Decay", "D", 1, 5000, 1000, 1, Unit::Milliseconds, Acts::AtNextNote,
     Acts::AtNextNote, "Decay time."},
    {"sustain", "Sustain", "S", 0, 100, 50, 1, Unit::Percent, Acts::AtNextNote, Acts::AtNextNote,
     "Sustain level."},
    {"release", "Release", "R", 1, 5000, 1500, 1, Unit::Milliseconds, Acts::AtNextNote,
     Acts::AtNextNote, "Release time."},
    {"disorder", "Disorder", "Disorder", 1, 50, 10, 1, Unit::None, Acts::AtOnce, Acts::AtNextStart,
     "The fractional-part term's multiplier, the position divided by 25."},
}};

/// The description of one control.
constexpr const Control& control(ControlId id) {
    return kControls[static_cast<std::size_t>(id)];
}

/// The control whose symbol is `symbol`, as files and options name it; nothing for any other
/// text. Any thread.
std::optional<ControlId> controlWithSymbol(std::string_view symbol) noexcept;

/// The position a host's or a caller's value stands for: rounded to the nearest integer and held
/// within the control's range. A NaN means nothing, so it keeps `current`. Any thread; does not
/// allocate.
int controlPosition(float value, const Control& control, int current) noexcept;

}  // namespace vireon::controls
