// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "controls/Controls.h"
#include "engine/AdsrSettings.h"
#include "instrument/ControllerMap.h"
#include "rate/RateRenderer.h"
#include "sounds/Sound.h"

namespace vireon::offline {

/// Frames per render call unless a face asks for others, and the most it may ask for: the
/// renderer holds one block in memory.
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

/// How one rendering sounds: what the sliders, a sound and the settings file would have set in
/// the program. The defaults are the program's start-up state.
struct RenderSettings {
    /// The sound to start from; the settings beside it win.
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
    /// Which MIDI controllers move which controls; without it control changes change nothing.
    instrument::ControllerMap controllers;
    std::uint32_t blockFrames = kDefaultBlockFrames;
    /// Frames per second of the output; the engine itself always runs at 8000.
    std::uint32_t rate = rate::kMinOutputRate;
};

}  // namespace vireon::offline
