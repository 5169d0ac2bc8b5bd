#pragma once

#include <cstdint>

#include "engine/SynthState.h"

namespace vireon::engine {

/// Advances the phase by one sample (circle map, then the Disorder term) and returns the new
/// sine sample. Returns the last sample unchanged before the first note-on. Audio thread.
float nextSample(SynthState& state);

/// Maps a Havoc slider position (1 to 100) to omega. Any thread; the UI calls it.
void setHavoc(SynthState& state, int position);

/// Maps a Bedlam slider position (1 to 100) to k. Any thread; the UI calls it.
void setBedlam(SynthState& state, int position);

/// Sets s from the Disorder number (value / 25). Called once at start-up, before audio runs.
void setDisorder(SynthState& state, std::int64_t value);

/// The omega and k that a slider position maps to, without touching any state.
float havocForPosition(int position);
float bedlamForPosition(int position);

}  // namespace vireon::engine
