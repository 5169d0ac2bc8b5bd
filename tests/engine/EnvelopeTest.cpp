// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "engine/AdsrSettings.h"
#include "engine/Envelope.h"
#include "engine/SynthState.h"

namespace vireon::engine {
namespace {

// One envelope step as the render loop makes it: with the running sample counter, which then
// advances by one.
double step(SynthState& state, const AdsrSettings& adsr) {
    envelopeStep(state, adsr, state.sampleCounter.load());
    state.sampleCounter = state.sampleCounter.load() + 1;
    return state.envelope.load();
}

void openGate(SynthState& state) {
    state.gate = 1;
    state.noteStarted = 0;
    state.phaseReset = 0;
}

void closeGate(SynthState& state) {
    state.gate = 0;
    state.noteStarted = 0;
    state.phaseReset = 0;
}

// Runs the retrigger fade; afterwards the next step is the attack's first (n = 0).
void runFade(SynthState& state, const AdsrSettings& adsr) {
    for (int i = 0; i <= kFadeSamples; ++i) {
        step(state, adsr);
    }
}

TEST(Envelope, InitialSlidersGiveTheKnownShape) {
    const EnvelopeShape shape = envelopeShape(1, 1000, 50, 1500);
    EXPECT_NEAR(shape.attackSamples, 0.79999982, 1e-8);
    EXPECT_EQ(shape.decaySamples, 8000.0);
    EXPECT_EQ(shape.sustainLevel, 0.5);
    EXPECT_EQ(shape.releaseSamples, 12000.0);
    EXPECT_NEAR(envelopeShape(1000, 1, 0, 1).attackSamples, 138.2, 0.05);
    EXPECT_NEAR(envelopeShape(2000, 1, 0, 1).attackSamples, 24000.0, 5.0);
    EXPECT_EQ(envelopeShape(1, 5000, 100, 1).decaySamples, 40000.0);
}

TEST(Envelope, AttackOvershootsThenDecaysToSustain) {
    SynthState state;
    AdsrSettings adsr;
    openGate(state);
    runFade(state, adsr);

    EXPECT_EQ(step(state, adsr), 0.0);
    EXPECT_EQ(state.phase.load(), -1.0f);
    EXPECT_NEAR(step(state, adsr), 1.2500003, 1e-7);
    EXPECT_NEAR(step(state, adsr), 0.999925, 1e-9);
    for (int n = 3; n < 8001; ++n) {
        step(state, adsr);
    }
    EXPECT_NEAR(step(state, adsr), 0.4999875, 1e-9);  // n = 8001, still decay
    EXPECT_EQ(step(state, adsr), 0.5);                // n = 8002, sustain
    EXPECT_EQ(step(state, adsr), 0.5);
}

TEST(Envelope, ShortDecayOvershootsBelowSustainByTheRounding) {
    SynthState state;
    AdsrSettings adsr;
    adsr.sustain = 0;
    adsr.decay = 1;
    openGate(state);
    runFade(state, adsr);

    double levels[12];
    for (double& level : levels) {
        level = step(state, adsr);
    }
    EXPECT_NEAR(levels[2], 0.85, 1e-7);
    EXPECT_NEAR(levels[8], 0.1, 1e-7);
    EXPECT_NEAR(levels[9], -0.025, 1e-7);
    EXPECT_EQ(levels[10], 0.0);
    EXPECT_EQ(levels[11], 0.0);
}

TEST(Envelope, ReleaseFallsLinearlyFromTheHeldLevel) {
    SynthState state;
    AdsrSettings adsr;
    adsr.release = 1;  // 8 samples
    openGate(state);
    runFade(state, adsr);
    for (int n = 0; n < 9000; ++n) {
        step(state, adsr);
    }
    ASSERT_EQ(state.envelope.load(), 0.5);

    closeGate(state);
    const double expected[] = {0.4375, 0.375, 0.3125, 0.25, 0.1875, 0.125, 0.0625, 0.0, 0.0, 0.0};
    for (double level : expected) {
        EXPECT_EQ(step(state, adsr), level);
        EXPECT_EQ(state.fadeLevel.load(), level);
    }
}

TEST(Envelope, RetriggerFadesFromTheReleaseLevelOverExactly1001Samples) {
    SynthState state;
    AdsrSettings adsr;
    openGate(state);
    runFade(state, adsr);
    for (int n = 0; n < 9000; ++n) {
        step(state, adsr);
    }
    closeGate(state);
    for (int i = 0; i < 500; ++i) {
        step(state, adsr);
    }
    const double released = state.envelope.load();
    EXPECT_NEAR(released, 0.5 * 11500 / 12000, 1e-4);

    openGate(state);
    EXPECT_EQ(step(state, adsr), released);  // counter 0
    EXPECT_EQ(state.envelopeCounter.load(), 0);
    for (int counter = 1; counter < kFadeSamples; ++counter) {
        step(state, adsr);
    }
    EXPECT_EQ(state.phaseReset.load(), 0);
    EXPECT_EQ(step(state, adsr), 0.0);  // counter 1000: the fade's last sample is exactly zero
    EXPECT_EQ(state.fadeLevel.load(), released);
    EXPECT_EQ(step(state, adsr), 0.0);  // the attack's first sample
    EXPECT_EQ(state.phase.load(), -1.0f);
    EXPECT_EQ(state.sampleCounter.load(), 1);
}

TEST(Envelope, ReleaseDuringTheFadeStartsFromTheFadesLevel) {
    SynthState state;
    AdsrSettings adsr;
    state.fadeLevel = 0.8;
    openGate(state);
    for (int i = 0; i <= 500; ++i) {
        step(state, adsr);
    }
    const double fading = state.envelope.load();
    EXPECT_NEAR(fading, 0.4, 1e-12);
    closeGate(state);
    EXPECT_NEAR(step(state, adsr), fading * 11999 / 12000, 1e-12);
}

TEST(Envelope, SliderValuesAreReadOnlyAtNoteStart) {
    SynthState state;
    AdsrSettings adsr;
    openGate(state);
    step(state, adsr);
    adsr.sustain = 100;
    runFade(state, adsr);
    for (int n = 0; n < 9000; ++n) {
        step(state, adsr);
    }
    EXPECT_EQ(state.envelope.load(), 0.5);
}

TEST(Envelope, CounterGuardRestartsTheCounterAndSilencesTheRelease) {
    SynthState state;
    AdsrSettings adsr;
    state.heldLevel = 0.5;
    state.releaseSamples = 12000.0;
    state.lastGateSample = kCounterGuard;
    envelopeStep(state, adsr, kCounterGuard + 1);
    EXPECT_EQ(state.sampleCounter.load(), 0);
    EXPECT_EQ(state.heldLevel.load(), 0.0);
    EXPECT_EQ(state.envelope.load(), 0.0);
}

TEST(Envelope, NoteHeldForDaysStaysAtSustainInsteadOfWrappingIntoTheFade) {
    SynthState state;
    AdsrSettings adsr;
    openGate(state);
    runFade(state, adsr);
    for (int n = 0; n < 9000; ++n) {
        step(state, adsr);
    }
    state.envelopeCounter = std::numeric_limits<std::int32_t>::max() - 1;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(step(state, adsr), 0.5);
    }
    EXPECT_EQ(state.envelopeCounter.load(), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace vireon::engine
