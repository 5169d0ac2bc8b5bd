// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"

namespace vireon::engine {

/// Envelope shape derived from the four slider values at note start.
struct EnvelopeShape {
    double attackSamples;
    double decaySamples;
    double sustainLevel;
    double releaseSamples;
};

/// The attack, decay, sustain and release values for the given slider values.
EnvelopeShape envelopeShape(std::int32_t attack, std::int32_t decay, std::int32_t sustain,
                            std::int32_t release);

/// Computes this sample's envelope into state.envelope. `n` is the current sample counter.
/// Reads the slider values only when a new note starts. Audio thread.
void envelopeStep(SynthState& state, const AdsrSettings& adsr, std::int32_t n);

}  // namespace vireon::engine
