// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"

namespace vireon::engine {

/// Fills `output` with `frameCount` mono samples: oscillator times envelope, times the onset ramp
/// during the first kRampSamples samples of a note. The one render entry point for the audio
/// callback, the offline renderer, tests and benchmarks. Never locks, allocates or calls the
/// system. Audio thread (or whichever single thread renders).
void renderBlock(SynthState& state, const AdsrSettings& adsr, float* output,
                 std::uint32_t frameCount);

}  // namespace vireon::engine
