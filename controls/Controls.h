// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vireon::controls {

/// The instrument's controls, in the order the plugin numbers its ports.
/// Hosts keep port numbers in their sessions, so new controls only ever join at the end.
enum class ControlId : std::uint8_t {
    Havoc,
    Bedlam,
    Attack,
    Decay,
    Sustain,
    Release,
    Disorder,
    Fade,
    Velocity,
    Bend,
    Glide,
    GlideMode,
    Pedal,
    Priority,
};
inline constexpr std::size_t kControlCount = 14;

/// The first control of the playing controls: the ones that shape how a player's keys, wheel
/// and pedal reach the sound, rather than the sound itself.
inline constexpr ControlId kFirstPlayingControl = ControlId::Fade;

/// Whether `id` is one of the playing controls.
constexpr bool isPlayingControl(ControlId id) {
    return id >= kFirstPlayingControl;
}

/// When a new position reaches the sound.
enum class Acts {
    AtOnce,
    /// The envelope reads its settings as a note starts; a sounding note keeps its own.
    AtNextNote,
    /// Read once from the settings file as the program starts.
    AtNextStart,
};

/// What a position counts, where it counts something people have a unit for.
enum class Unit { None, Milliseconds, Percent, Semitones, Samples };

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
    /// For a switch, the name of each position from min up, as faces show it; empty for a
    /// control that counts.
    std::span<const std::string_view> valueNames{};
};

inline constexpr std::array<std::string_view, 2> kGlideModeNames{"always", "legato"};
inline constexpr std::array<std::string_view, 2> kPedalNames{"off", "on"};
inline constexpr std::array<std::string_view, 2> kPriorityNames{"count", "last held"};

/// The positions of the switches.
enum class GlideMode : int { Always = 0, Legato = 1 };
enum class Priority : int { Count = 0, LastHeld = 1 };

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
    {"fade", "Fade", "Fade", 0, 1000, 1000, 1, Unit::Samples, Acts::AtNextNote, Acts::AtNextNote,
     "The previous sound's fade before each attack (1000 is 125 ms); 0 starts notes at once."},
    {"velocity", "Velocity", "Velocity", 0, 100, 0, 1, Unit::Percent, Acts::AtNextNote,
     Acts::AtNextNote,
     "How much a soft key lowers its note: the level is 1 - sensitivity * (1 - velocity / 127)."},
    {"bend", "Bend range", "Bend", 0, 24, 0, 1, Unit::Semitones, Acts::AtOnce, Acts::AtOnce,
     "How far the pitch wheel bends, up or down; 0 ignores it."},
    {"glide", "Glide", "Glide", 0, 2000, 0, 1, Unit::Milliseconds, Acts::AtNextNote,
     Acts::AtNextNote, "Time a new note takes to slide to its pitch, evenly in semitones."},
    {"glide_mode", "Glide mode", "Glide mode", 0, 1, 0, 1, Unit::None, Acts::AtNextNote,
     Acts::AtNextNote, "Which notes glide: always, or only those played while another is held.",
     kGlideModeNames},
    {"pedal", "Sustain pedal", "Pedal", 0, 1, 0, 1, Unit::None, Acts::AtOnce, Acts::AtOnce,
     "Whether the sustain pedal (controller 64) holds released notes until it lifts.", kPedalNames},
    {"priority", "Note priority", "Priority", 0, 1, 0, 1, Unit::None, Acts::AtOnce, Acts::AtOnce,
     "Count: the latest pitch stays while any key is held. Last held: releasing it returns to "
     "the latest key still held.",
     kPriorityNames},
}};

/// The description of one control.
constexpr const Control& control(ControlId id) {
    return kControls[static_cast<std::size_t>(id)];
}

/// The name of `position` on a switch, or nothing for a control that counts or a position it
/// has no name for. Any thread.
constexpr std::optional<std::string_view> valueName(const Control& control, int position) {
    const long index = static_cast<long>(position) - control.min;
    if (index < 0 || static_cast<std::size_t>(index) >= control.valueNames.size()) {
        return std::nullopt;
    }
    return control.valueNames[static_cast<std::size_t>(index)];
}

/// The position as a player reads it, with its unit ("125 ms", "50 %", "2 semitones"); a plain
/// number for a control without one. Any thread; allocates.
std::string valueText(const Control& control, int position);

/// The control whose symbol is `symbol`, as files and options name it; nothing for any other
/// text. Any thread.
std::optional<ControlId> controlWithSymbol(std::string_view symbol) noexcept;

/// The position a host's or a caller's value stands for: rounded to the nearest integer and held
/// within the control's range. A NaN means nothing, so it keeps `current`. Any thread; does not
/// allocate.
int controlPosition(float value, const Control& control, int current) noexcept;

}  // namespace vireon::controls
