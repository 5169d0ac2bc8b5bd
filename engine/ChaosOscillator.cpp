// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ChaosOscillator.h"

#include <cmath>

#include "engine/Powers.h"
#include "engine/RoundToInt.h"
#include "engine/Sine.h"

namespace vireon::engine {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Each slider mapping raises a single-precision base to the position in double precision and
// rounds that power to single precision before dividing: the intermediate rounding is audible.
float sliderMapping(double power, double divisor) {
    return static_cast<float>(static_cast<float>(power) / divisor);
}

}  // namespace

float havocForPosition(int position) {
    return sliderMapping(havocPower(position), kHavocDivisor);
}

float bedlamForPosition(int position) {
    return sliderMapping(bedlamPower(position), kBedlamDivisor);
}

void setHavoc(SynthState& state, int position) {
    state.omega.store(havocForPosition(position), kRelaxed);
}

void setBedlam(SynthState& state, int position) {
    state.k.store(bedlamForPosition(position), kRelaxed);
}

void setDisorder(SynthState& state, std::int64_t value) {
    state.s.store(static_cast<float>(static_cast<double>(value) / kDisorderDivisor), kRelaxed);
}

float nextSample(SynthState& state) {
    const double frequency = state.frequency.load(kRelaxed);
    if (!(frequency > 0.0)) {
        return state.lastSample.load(kRelaxed);
    }

    // During the retrigger fade the previous note's pitch keeps sounding.
    const double pitch = state.envelopeCounter.load(kRelaxed) > kFadeSamples
                             ? frequency
                             : state.previousFrequency.load(kRelaxed);
    SynthState::OscillatorCache& cache = state.oscillatorCache;
    if (pitch != cache.pitch) {
        cache.pitch = pitch;
        cache.samplesPerCycle = roundToInt32(kSampleRate / pitch);
        cache.increment = 1.0 / cache.samplesPerCycle;
    }
    state.samplesPerCycle.store(cache.samplesPerCycle, kRelaxed);
    const double increment = cache.increment;

    const double twoPi = kTwoPi;
    const double omega = state.omega.load(kRelaxed);
    const float k = state.k.load(kRelaxed);
    if (k != cache.k) {
        cache.k = k;
        cache.kOverTwoPi = k / twoPi;
    }
    const double s = state.s.load(kRelaxed);

    // Circle map, with the old phase in both places; the phase field is single precision, so the
    // result rounds to float before the Disorder step sees it.
    const double oldPhase = state.phase.load(kRelaxed);
    float phase = static_cast<float>(oldPhase + omega + increment +
                                     cache.kOverTwoPi * sine(oldPhase * twoPi));

    // Disorder: fmod truncates toward zero, so a negative product keeps its sign.
    const float product = static_cast<float>(s * phase);
    const float remainder = static_cast<float>(std::fmod(static_cast<double>(product), 1.0));
    phase = static_cast<float>(remainder + (phase + increment));

    // At most one cycle comes off per sample; the phase is deliberately not reduced modulo 1.
    if (phase > 1.0f) {
        phase = static_cast<float>(phase - 1.0);
    }
    state.phase.store(phase, kRelaxed);

    const float sample = static_cast<float>(sine(phase * twoPi));
    state.lastSample.store(sample, kRelaxed);
    return sample;
}

}  // namespace vireon::engine
