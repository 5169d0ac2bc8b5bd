// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Envelope.h"

#include <limits>

#include "engine/Powers.h"
#include "engine/RoundToInt.h"

namespace vireon::engine {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Seconds first, then samples: the order of the operations is part of the result.
double millisecondsToSamples(std::int32_t milliseconds) {
    return static_cast<double>(milliseconds) / 1000.0 * kSampleRate;
}

}  // namespace

double velocityLevel(std::int32_t velocity, std::int32_t sensitivityPercent) {
    const double sensitivity = static_cast<double>(sensitivityPercent) / 100.0;
    return 1.0 - sensitivity * (1.0 - static_cast<double>(velocity) / kVelocityMax);
}

EnvelopeShape envelopeShape(std::int32_t attack, std::int32_t decay, std::int32_t sustain,
                            std::int32_t release) {
    return EnvelopeShape{
        .attackSamples = attackPower(attack) * kAttackCurveScale / 1000.0 * kSampleRate,
        .decaySamples = millisecondsToSamples(decay),
        .sustainLevel = static_cast<double>(sustain) / 100.0,
        .releaseSamples = millisecondsToSamples(release),
    };
}

void envelopeStep(SynthState& state, const AdsrSettings& adsr, std::int32_t n) {
    if (n > kCounterGuard) {
        state.sampleCounter.store(0, kRelaxed);
        state.heldLevel.store(0.0, kRelaxed);
    }

    if (state.gate.load(kRelaxed) == 0) {
        // Release: a straight line from the held level down to zero over the release time.
        const double releaseSamples = state.releaseSamples.load(kRelaxed);
        const double remaining =
            releaseSamples + static_cast<double>(state.lastGateSample.load(kRelaxed)) - n;
        const double level =
            remaining <= 0.0 ? 0.0 : state.heldLevel.load(kRelaxed) * remaining / releaseSamples;
        state.envelope.store(level, kRelaxed);
        state.fadeLevel.store(level, kRelaxed);
        return;
    }

    if (state.noteStarted.load(kRelaxed) == 0) {
        state.noteStarted.store(1, kRelaxed);
        state.envelopeCounter.store(-1, kRelaxed);
        const EnvelopeShape shape =
            envelopeShape(adsr.attack.load(kRelaxed), adsr.decay.load(kRelaxed),
                          adsr.sustain.load(kRelaxed), adsr.release.load(kRelaxed));
        state.attackSamples.store(shape.attackSamples, kRelaxed);
        state.decaySamples.store(shape.decaySamples, kRelaxed);
        state.sustainLevel.store(shape.sustainLevel, kRelaxed);
        state.releaseSamples.store(shape.releaseSamples, kRelaxed);
        state.fadeSamples.store(adsr.fade.load(kRelaxed), kRelaxed);
        state.velocityLevel.store(
            velocityLevel(state.noteVelocity.load(kRelaxed), adsr.velocity.load(kRelaxed)),
            kRelaxed);
    }

    // The counter stops at its maximum instead of wrapping: a wrapped (negative) counter would
    // re-enter the fade with a gain of millions after a note held for about three days.
    std::int32_t envelopeCounter = state.envelopeCounter.load(kRelaxed);
    if (envelopeCounter < std::numeric_limits<std::int32_t>::max()) {
        ++envelopeCounter;
    }
    state.envelopeCounter.store(envelopeCounter, kRelaxed);

    double level;
    const std::int32_t fadeSamples = state.fadeSamples.load(kRelaxed);
    if (inRetriggerFade(envelopeCounter, fadeSamples)) {
        // Retrigger fade: whatever sounded before falls to exactly zero over fadeSamples + 1
        // samples (1001 at the start-up setting).
        level = (1.0 - envelopeCounter / static_cast<double>(fadeSamples)) *
                state.fadeLevel.load(kRelaxed);
    } else {
        if (state.phaseReset.load(kRelaxed) == 0) {
            state.phase.store(-1.0f, kRelaxed);
            state.phaseReset.store(1, kRelaxed);
            state.sampleCounter.store(0, kRelaxed);
            n = 0;
        }
        const double attackSamples = state.attackSamples.load(kRelaxed);
        const double decaySamples = state.decaySamples.load(kRelaxed);
        const double sustainLevel = state.sustainLevel.load(kRelaxed);
        // The comparisons use rounded sample counts but the slopes use the unrounded times, so
        // the shortest attacks overshoot 1.0 (under the onset ramp, where it is inaudible).
        const std::int32_t attackEnd = roundToInt32(attackSamples);
        const std::int32_t decayEnd = roundToInt32(attackSamples + decaySamples);
        if (n <= attackEnd) {
            level = n / attackSamples;
        } else if (n <= decayEnd) {
            level = sustainLevel +
                    (attackSamples + decaySamples - n) * (1.0 - sustainLevel) / decaySamples;
        } else {
            level = sustainLevel;
        }
        // The fade above is the previous note's sound, already at that note's level; a level of
        // exactly 1.0 leaves every value as it is.
        level *= state.velocityLevel.load(kRelaxed);
    }
    state.envelope.store(level, kRelaxed);
    state.heldLevel.store(level, kRelaxed);
    state.lastGateSample.store(n, kRelaxed);
}

}  // namespace vireon::engine
