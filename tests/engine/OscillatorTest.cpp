// SPDX-License-Identifier: GPL-3.0-or-later
#include <bit>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "engine/ChaosOscillator.h"
#include "engine/Constants.h"
#include "engine/RoundToInt.h"
#include "engine/SynthState.h"

namespace vireon::engine {
namespace {

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

// A state sounding a steady pitch past the retrigger fade, so the oscillator uses `frequency`.
void soundPitch(SynthState& state, double hz, float phase) {
    state.frequency = hz;
    state.envelopeCounter = kFadeSamples + 1;
    state.phase = phase;
}

TEST(Oscillator, ConstantsHaveTheirExactBitPatterns) {
    EXPECT_EQ(bits(kTwoPi), 0x40C90FDBu);
    EXPECT_EQ(bits(kStartupOmega), 0x400F381Du);
    EXPECT_EQ(bits(kStartupK), 0x3E042310u);
    EXPECT_EQ(bits(kDefaultDisorder), 0x3ECCCCCDu);
    EXPECT_EQ(bits(kHavocBase), 0x3F89273Du);
    EXPECT_EQ(bits(kBedlamBase), 0x3F883505u);
    // The patterns are the single-precision roundings of the design's decimal values.
    EXPECT_EQ(kStartupOmega, 2.2378f);
    EXPECT_EQ(kStartupK, 0.12904f);
    EXPECT_EQ(kHavocBase, 1.07151f);
    EXPECT_EQ(kBedlamBase, 1.064118f);
}

TEST(Oscillator, IsSilentAndStillBeforeTheFirstNoteOn) {
    SynthState state;
    state.phase = 0.25f;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(bits(nextSample(state)), 0u);
    }
    EXPECT_EQ(state.phase.load(), 0.25f);

    state.lastSample = 0.5f;
    EXPECT_EQ(nextSample(state), 0.5f);
}

TEST(Oscillator, StartupChaosFromPhaseZeroGivesTheKnownSamples) {
    SynthState state;
    soundPitch(state, 440.0, 0.0f);

    EXPECT_NEAR(nextSample(state), 0.99479f, 5e-6);
    EXPECT_NEAR(state.phase.load(), 2.2662532f, 1e-6);
    EXPECT_EQ(state.samplesPerCycle.load(), 18);
    EXPECT_NEAR(nextSample(state), 0.20211f, 5e-6);
    EXPECT_NEAR(state.phase.load(), 4.4676104f, 1e-6);
    EXPECT_NEAR(nextSample(state), -0.16709f, 5e-6);
    EXPECT_NEAR(state.phase.load(), 6.5267191f, 1e-6);
}

TEST(Oscillator, ZeroChaosAdvancesTwoIncrementsAndWrapsOnTheRoundedOne) {
    SynthState state;
    state.omega = 0.0f;
    state.k = 0.0f;
    state.s = 0.0f;
    soundPitch(state, 440.0, 0.0f);

    float expected = 0.0f;
    for (int step = 1; step <= 8; ++step) {
        nextSample(state);
        expected = static_cast<float>(static_cast<float>(expected + 1.0 / 18) + 1.0 / 18);
        EXPECT_EQ(state.phase.load(), expected) << "step " << step;
        EXPECT_NEAR(state.phase.load(), step * 2.0 / 18, 1e-6);
    }
    // The ninth step lands on 1 + 2^-22 by 32-bit rounding, which is above 1.0 and wraps.
    nextSample(state);
    EXPECT_EQ(state.phase.load(), std::ldexp(1.0f, -22));
}

TEST(Oscillator, NegativeProductKeepsTheSignOfItsRemainder) {
    SynthState state;
    state.omega = 0.0f;
    state.k = 0.0f;
    state.s = 1.0f;
    // 8000 Hz gives one sample per cycle, an increment of 1.0: -1.4 becomes -0.4 after the
    // circle map, the remainder is -0.4 (not 0.6), and the phase ends at -0.4 + (-0.4 + 1).
    soundPitch(state, 8000.0, -1.4f);
    nextSample(state);
    const float afterCircleMap = static_cast<float>(-1.4f + 1.0);
    const float remainder = static_cast<float>(std::fmod(static_cast<double>(afterCircleMap), 1.0));
    EXPECT_LT(remainder, 0.0f);
    EXPECT_EQ(state.phase.load(), static_cast<float>(remainder + (afterCircleMap + 1.0)));
    EXPECT_NEAR(state.phase.load(), 0.2f, 1e-6);
}

TEST(Oscillator, UsesThePreviousPitchUntilTheFadeHasEnded) {
    SynthState state;
    state.frequency = 440.0;
    state.previousFrequency = 8000.0 / 31;
    state.envelopeCounter = kFadeSamples;
    nextSample(state);
    EXPECT_EQ(state.samplesPerCycle.load(), 31);
    state.envelopeCounter = kFadeSamples + 1;
    nextSample(state);
    EXPECT_EQ(state.samplesPerCycle.load(), 18);
}

TEST(Oscillator, ZeroPreviousPitchGivesTheOutOfRangeCycleLengthAndStaysFinite) {
    SynthState state;
    state.frequency = 440.0;
    state.previousFrequency = 0.0;
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(std::isfinite(nextSample(state)));
    }
    EXPECT_EQ(state.samplesPerCycle.load(), INT32_MIN);
}

TEST(Oscillator, RoundingIsToNearestWithTiesToEven) {
    EXPECT_EQ(roundToInt32(0.5), 0);
    EXPECT_EQ(roundToInt32(1.5), 2);
    EXPECT_EQ(roundToInt32(2.5), 2);
    EXPECT_EQ(roundToInt32(-0.5), 0);
    EXPECT_EQ(roundToInt32(-1.5), -2);
    EXPECT_EQ(roundToInt32(0.79999982), 1);
    EXPECT_EQ(roundToInt32(8000.0 / 8.1758), 978);
    EXPECT_EQ(roundToInt32(2147483647.0), INT32_MAX);
    EXPECT_EQ(roundToInt32(2147483648.0), INT32_MIN);
    EXPECT_EQ(roundToInt32(INFINITY), INT32_MIN);
    EXPECT_EQ(roundToInt32(-INFINITY), INT32_MIN);
    EXPECT_EQ(roundToInt32(NAN), INT32_MIN);
}

TEST(SliderMapping, MatchesTheKnownTable) {
    struct Row {
        int position;
        float omega;
        float k;
    };
    const Row rows[] = {{1, 0.107151f, 0.0212824f},
                        {30, 0.794120f, 0.1290399f},
                        {45, 2.237842f, 0.327771f},
                        {50, 3.160899f, 0.447219f},
                        {100, 99.91280f, 10.000232f}};
    for (const Row& row : rows) {
        SynthState state;
        setHavoc(state, row.position);
        setBedlam(state, row.position);
        EXPECT_NEAR(state.omega.load(), row.omega, row.omega * 2e-6) << row.position;
        EXPECT_NEAR(state.k.load(), row.k, row.k * 2e-6) << row.position;
    }
}

TEST(SliderMapping, StartupConstantsAreNotTheSettersValues) {
    EXPECT_NE(havocForPosition(45), kStartupOmega);
    EXPECT_NE(bedlamForPosition(30), kStartupK);
}

TEST(SliderMapping, DisorderIsTheNumberOverTwentyFive) {
    SynthState state;
    setDisorder(state, 10);
    EXPECT_EQ(bits(state.s.load()), 0x3ECCCCCDu);
    setDisorder(state, 0);
    EXPECT_EQ(bits(state.s.load()), 0u);
    setDisorder(state, -3);
    EXPECT_EQ(state.s.load(), -0.12f);
    setDisorder(state, 25);
    EXPECT_EQ(state.s.load(), 1.0f);
}

}  // namespace
}  // namespace vireon::engine
