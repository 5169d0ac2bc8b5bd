// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "controls/Controls.h"
#include "engine/SynthState.h"

namespace vireon::engine {

/// Range and start-up position of a control that sets a chaos term.
struct ChaosControlRange {
    int min;
    int max;
    int initial;
};

/// The Havoc and Bedlam sliders and the Disorder number. The start-up positions of Havoc and
/// Bedlam stand for kStartupOmega and kStartupK, which are not computed through the setters.
constexpr ChaosControlRange chaosRange(controls::ControlId id) {
    const controls::Control& c = controls::control(id);
    return {c.min, c.max, c.initial};
}
inline constexpr ChaosControlRange kHavocRange = chaosRange(controls::ControlId::Havoc);
inline constexpr ChaosControlRange kBedlamRange = chaosRange(controls::ControlId::Bedlam);
inline constexpr ChaosControlRange kDisorderRange = chaosRange(controls::ControlId::Disorder);

/// Advances the phase by one sample (circle map, then the Disorder term) and returns the new
/// sine sample. Returns the last sample unchanged before the first note-on. Audio thread.
float nextSample(SynthState& state);

/// Maps a Havoc slider position (1 to 100) to omega. Any thread; the UI calls it.
void setHavoc(SynthState& state, int position);

/// Maps a Bedlam slider position (1 to 100) to k. Any thread; the UI calls it.
void setBedlam(SynthState& state, int position);

/// Sets s from the Disorder number (value / 25). Any thread: the program calls it once at
/// start-up, before audio runs; the plugin calls it on the audio thread when its control moves.
void setDisorder(SynthState& state, std::int64_t value);

/// The omega and k that a slider position maps to, without touching any state.
float havocForPosition(int position);
float bedlamForPosition(int position);

}  // namespace vireon::engine
