// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ChaosOscillator.h"

#include <cmath>

#include "engine/Envelope.h"
#include "engine/Pitch.h"
#include "engine/Powers.h"
#include "engine/RoundToInt.h"
#include "exactmath/Sine.h"

namespace vireon::engine {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Each slider mapping raises a single-precision base to the position in double precision and
// rounds that power to single precision before dividing: the intermediate rounding is audible.
float sliderMapping(double power, double divisor) {
    return static_cast<float>(static_cast<float>(power) / divisor);
}

/// fmod(value, 1.0) in value, without the library call, which costs about as much as a sine.
/// Below 2^63 in magnitude the conversion to a 64-bit integer truncates exactly, the truncated
/// double converts back exactly, and value - trunc(value) is exact: for |value| < 1 it is value
/// itself (-0.0 included), otherwise trunc(value) lies between value / 2 and value (Sterbenz).
/// fmod's result is exact too, so the two are the same number; only a zero can differ in sign:
/// for a negative whole value fmod gives -0.0 and the difference +0.0. Larger magnitudes,
/// infinities and NaN keep fmod.
double fractionalPart(double value) {
    if (!(value > -0x1p63 && value < 0x1p63)) {
        return std::fmod(value, 1.0);
    }
    return value - static_cast<double>(static_cast<std::int64_t>(value));
}

/// One sample of the glide: the offset from the target shrinks by glideStart / glideLength, so
/// after t of L samples it is glideStart * (L - t) / L semitones, and at the L-th the pitch is
/// the target itself.
void advanceGlide(SynthState& state) {
    std::int32_t remaining = state.glideRemaining.load(kRelaxed);
    if (remaining <= 0) {
        return;
    }
    --remaining;
    state.glideRemaining.store(remaining, kRelaxed);
    const double target = state.targetFrequency.load(kRelaxed);
    if (remaining == 0) {
        state.glideOffset.store(0.0, kRelaxed);
        state.frequency.store(target, kRelaxed);
        return;
    }
    const double offset = state.glideStart.load(kRelaxed) * remaining /
                          static_cast<double>(state.glideLength.load(kRelaxed));
    state.glideOffset.store(offset, kRelaxed);
    state.frequency.store(target * semitoneRatio(offset), kRelaxed);
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
    // During the retrigger fade the previous note's pitch keeps sounding, and a glide to the new
    // note waits for the fade to end.
    const bool fading =
        inRetriggerFade(state.envelopeCounter.load(kRelaxed), state.fadeSamples.load(kRelaxed));
    if (!fading) {
        advanceGlide(state);
    }
    const double frequency = state.frequency.load(kRelaxed);
    if (!(frequency > 0.0)) {
        return state.lastSample.load(kRelaxed);
    }
    const double pitch = fading ? state.previousFrequency.load(kRelaxed) : frequency;
    SynthState::OscillatorCache& cache = state.oscillatorCache;
    if (pitch != cache.pitch) {
        cache.pitch = pitch;
        // A key's pitch is at most 12544 Hz, a period of one sample at least; only a bend above
        // 16 kHz would round the period to zero, and an infinite increment would fill the phase
        // with NaN for good. The engine plays no shorter period than one sample.
        const std::int32_t period = roundToInt32(kSampleRate / pitch);
        cache.samplesPerCycle = period == 0 ? 1 : period;
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
                                     cache.kOverTwoPi * exactmath::sine(oldPhase * twoPi));

    // Disorder: the remainder truncates toward zero, so a negative product keeps its sign. It
    // differs from fmod's only as +0.0 for -0.0, and that zero is added to phase + increment,
    // which is never -0.0 (increment = 1 / samplesPerCycle is never zero): a zero of either
    // sign added to anything but -0.0 leaves it unchanged, so the phase gets the same bits.
    const float product = static_cast<float>(s * phase);
    const float remainder = static_cast<float>(fractionalPart(static_cast<double>(product)));
    phase = static_cast<float>(remainder + (phase + increment));

    // At most one cycle comes off per sample; the phase is deliberately not reduced modulo 1.
    if (phase > 1.0f) {
        phase = static_cast<float>(phase - 1.0);
    }
    state.phase.store(phase, kRelaxed);

    const float sample = static_cast<float>(exactmath::sine(phase * twoPi));
    state.lastSample.store(sample, kRelaxed);
    return sample;
}

}  // namespace vireon::engine
