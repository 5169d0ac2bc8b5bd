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

/// Whether the envelope step numbered `envelopeCounter` of a note belongs to its retrigger fade of
/// `fadeSamples` steps: steps 0 to fadeSamples do, and a fade of 0 has none, so such a note's
/// attack begins at its first step. The oscillator sounds the previous pitch over the same steps.
constexpr bool inRetriggerFade(std::int32_t envelopeCounter, std::int32_t fadeSamples) {
    return fadeSamples > 0 && envelopeCounter <= fadeSamples;
}

/// A note's level from its velocity (1 to 127) and the sensitivity in percent (0 to 100):
/// 1 - sensitivity * (1 - velocity / 127), exactly 1.0 at sensitivity 0 or velocity 127.
double velocityLevel(std::int32_t velocity, std::int32_t sensitivityPercent);

/// The attack, decay, sustain and release values for the given slider values.
EnvelopeShape envelopeShape(std::int32_t attack, std::int32_t decay, std::int32_t sustain,
                            std::int32_t release);

/// Computes this sample's envelope into state.envelope. `n` is the current sample counter.
/// Reads the slider values only when a new note starts. Audio thread.
void envelopeStep(SynthState& state, const AdsrSettings& adsr, std::int32_t n);

}  // namespace vireon::engine
