// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "controls/Controls.h"
#include "engine/AdsrSettings.h"
#include "instrument/ControllerMap.h"
#include "rate/RateRenderer.h"
#include "sounds/Sound.h"

namespace vireon::tools {

/// Frames per render call unless --block says otherwise.
inline constexpr std::uint32_t kDefaultBlockFrames = 256;
inline constexpr std::uint32_t kMaxBlockFrames = 1048576;

/// The longest rendering: the samples of a 32-bit float WAV file must stay below 4 GiB, the
/// size its header can describe. About 34.7 hours at 8000 samples per second.
inline constexpr std::uint32_t kMaxRenderLength = 1000000000;

/// Every control at its start-up position, indexed by ControlId.
constexpr std::array<int, controls::kControlCount> startupPositions() {
    std::array<int, controls::kControlCount> positions{};
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        positions[i] = controls::kControls[i].initial;
    }
    return positions;
}

/// Everything the command line says about one rendering.
struct RenderOptions {
    /// Where the messages come from; at most one of the two is non-empty.
    std::string eventsPath;
    std::string midiPath;
    /// Samples to render; without it the length follows from the messages.
    std::optional<std::uint32_t> length;
    /// The sound to start from, which --sound names; the control options given beside it win.
    std::optional<sounds::Sound> sound;
    std::int32_t attack = engine::AdsrSettings::kAttackInitial;
    std::int32_t decay = engine::AdsrSettings::kDecayInitial;
    std::int32_t sustain = engine::AdsrSettings::kSustainInitial;
    std::int32_t release = engine::AdsrSettings::kReleaseInitial;
    /// Slider positions; without them the start-up constants stay.
    std::optional<int> havoc;
    std::optional<int> bedlam;
    /// The playing controls' positions (Fade onwards), indexed by ControlId; the others unused.
    std::array<int, controls::kControlCount> playing = startupPositions();
    /// Disorder text as the settings file would hold it; without it s stays at its default.
    std::optional<std::string> disorder;
    /// Which MIDI controllers move which controls, as --controllers reads them from the
    /// program's file; without it control changes change nothing.
    instrument::ControllerMap controllers;
    std::uint32_t blockFrames = kDefaultBlockFrames;
    /// Frames per second of the output; the engine itself always runs at 8000.
    std::uint32_t rate = rate::kMinOutputRate;
    /// A path ending in .wav, or "-" for raw float32 on standard output.
    std::string outputPath;
};

/// --help was given: print the usage and stop.
struct HelpRequest {};

/// --version was given: print versionText() and stop.
struct VersionRequest {};

/// --list-sounds was given: print soundListText() and stop.
struct ListSoundsRequest {};

/// What the command line asks for: a rendering, a request that stops there, or one sentence
/// saying what is wrong and what to do.
using ParsedCommandLine =
    std::variant<RenderOptions, HelpRequest, VersionRequest, ListSoundsRequest, std::string>;

/// Reads the command-line arguments (without the program name). --sound FILE reads that file.
/// Any thread.
ParsedCommandLine parseRenderOptions(std::span<const std::string_view> args);

/// The text --help prints.
std::string usageText();

/// The text --version prints: the program's name and version, then its licence.
std::string versionText();

/// The text --list-sounds prints: each factory sound's name and description.
std::string soundListText();

/// True when `path` asks for raw samples on standard output.
bool isStandardOutput(std::string_view path);

}  // namespace vireon::tools
