// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "tests/support/RenderPhrase.h"

namespace vireon::engine {
namespace {

using midi::MidiMessageKind;
using midi::packShortMessage;

using testsupport::renderPhrase;
using offline::TimedMessage;

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

TEST(RenderBlock, ZeroFramesWritesNothing) {
    SynthState state;
    AdsrSettings adsr;
    float sentinel = 7.0f;
    renderBlock(state, adsr, &sentinel, 0);
    EXPECT_EQ(sentinel, 7.0f);
    EXPECT_EQ(state.sampleCounter.load(), 0);
}

TEST(RenderBlock, IsExactlySilentBeforeTheFirstNoteOn) {
    const std::vector<float> out = renderPhrase({}, 20000, 256);
    for (float sample : out) {
        ASSERT_EQ(bits(sample), 0u);
    }
}

TEST(RenderBlock, NoteStartsWithASilentFadeThenARampedAttack) {
    const std::uint32_t noteOn = packShortMessage(0x90, 69, 100);
    const std::vector<float> out = renderPhrase({{0, noteOn}}, 1200, 256);
    // The first note fades from silence: 1001 samples of nothing, then the attack's first
    // sample, which the onset ramp holds at exactly zero.
    for (int i = 0; i <= 1001; ++i) {
        ASSERT_EQ(out[i], 0.0f) << i;
    }
    // The 1.25 overshoot of the shortest attack falls under the ramp (1e-10 at its sample).
    EXPECT_GT(std::fabs(out[1002]), 0.0f);
    EXPECT_LT(std::fabs(out[1002]), 1.3e-10f);
    EXPECT_GT(std::fabs(out[1150]), 0.01f);
}

TEST(RenderBlock, RampIsTheFifthPowerOfTheCounterFraction) {
    SynthState state;
    AdsrSettings adsr;
    // A held note in sustain at level 1, so the output is the oscillator times the ramp.
    state.frequency = 440.0;
    state.gate = 1;
    state.noteStarted = 1;
    state.phaseReset = 1;
    state.envelopeCounter = 5000;
    state.attackSamples = 0.4;
    state.decaySamples = 0.4;
    state.sustainLevel = 1.0;
    state.sampleCounter = 50;
    float sample = 0.0f;
    renderBlock(state, adsr, &sample, 1);
    EXPECT_EQ(sample, state.lastSample.load() * 0.03125f);

    state.sampleCounter = 100;
    renderBlock(state, adsr, &sample, 1);
    EXPECT_EQ(sample, state.lastSample.load());
}

TEST(RenderBlock, OutputIsNotClamped) {
    SynthState state;
    AdsrSettings adsr;
    state.frequency = 440.0;
    state.gate = 1;
    state.noteStarted = 1;
    state.phaseReset = 1;
    state.envelopeCounter = 5000;
    state.attackSamples = 0.4;
    state.decaySamples = 0.4;
    state.sustainLevel = 1.25;
    state.sampleCounter = 100;
    std::vector<float> out(2000);
    renderBlock(state, adsr, out.data(), static_cast<std::uint32_t>(out.size()));
    float loudest = 0.0f;
    for (float sample : out) {
        loudest = std::max(loudest, std::fabs(sample));
    }
    EXPECT_GT(loudest, 1.2f);
    EXPECT_LE(loudest, 1.25f);
}

// Random phrases: note-ons (some with velocity 0), note-offs, other channels and other status
// bytes, at random times, some sharing a sample.
std::vector<TimedMessage> randomPhrase(std::mt19937& random, std::uint32_t length, int count) {
    std::vector<TimedMessage> messages;
    std::uint32_t sample = 0;
    for (int i = 0; i < count; ++i) {
        sample = std::min<std::uint32_t>(length - 1, sample + random() % (length / count * 2 + 1));
        const std::uint8_t statuses[] = {0x90, 0x90, 0x90, 0x80, 0x80, 0x91, 0xB0, 0xF8};
        const std::uint8_t status = statuses[random() % std::size(statuses)];
        const std::uint8_t velocity = (random() % 4 == 0) ? 0 : static_cast<std::uint8_t>(random());
        messages.push_back(
            {sample,
             packShortMessage(status, static_cast<std::uint8_t>(random() % 128), velocity)});
    }
    return messages;
}

TEST(RenderProperties, EveryBlockSizeGivesTheSameSamples) {
    std::mt19937 random(1234);
    for (int trial = 0; trial < 4; ++trial) {
        const std::vector<TimedMessage> phrase = randomPhrase(random, 30000, 40);
        const std::vector<float> reference = renderPhrase(phrase, 30000, 1);
        for (std::uint32_t blockSize : {2u, 7u, 64u, 256u, 1000u, 8192u, 30000u}) {
            const std::vector<float> out = renderPhrase(phrase, 30000, blockSize);
            ASSERT_EQ(0, std::memcmp(out.data(), reference.data(), out.size() * sizeof(float)))
                << "block size " << blockSize << ", trial " << trial;
        }
    }
}

// What an audio driver does: blocks of whatever size it likes, empty ones included, with the
// messages that arrived meanwhile handled between two blocks, several at the same sample.
TEST(RenderProperties, MixedBlockSizesWithMessagesBetweenThemMatchOneLongBlock) {
    constexpr std::uint32_t kLength = 120000;
    constexpr std::uint32_t kBlockSizes[] = {0, 1, 3, 77, 0, 255, 1, 0, 3, 8192, 77, 0, 255, 1};
    const std::uint32_t kMessages[] = {
        packShortMessage(0x90, 69, 100), packShortMessage(0x90, 72, 90),  // legato
        packShortMessage(0x80, 72, 0),   packShortMessage(0x80, 69, 0),
        packShortMessage(0x90, 60, 0),  // a note-on with velocity 0 is a note-off
        packShortMessage(0x91, 64, 100), packShortMessage(0xB0, 1, 64),
        packShortMessage(0xF8, 0, 0),    packShortMessage(0x90, 48, 127),
        packShortMessage(0x80, 48, 64)};
    AdsrSettings adsr;
    adsr.attack = 40;
    adsr.decay = 200;
    adsr.sustain = 70;
    adsr.release = 300;

    std::mt19937 random(4321);
    SynthState state;
    midi::MidiNoteHandler handler(state);
    std::vector<float> out(kLength, -1.0f);
    std::vector<TimedMessage> sent;
    std::uint32_t position = 0;
    for (std::size_t block = 0; position < kLength; ++block) {
        // Between two blocks: nothing most of the time, now and then up to three messages.
        if (random() % 3 == 0) {
            for (std::uint32_t count = 1 + random() % 3; count != 0; --count) {
                const std::uint32_t message = kMessages[random() % std::size(kMessages)];
                handler.onMidiMessage(MidiMessageKind::Data, message, 0);
                sent.push_back({position, message});
            }
        }
        const std::uint32_t frames =
            std::min(kBlockSizes[block % std::size(kBlockSizes)], kLength - position);
        renderBlock(state, adsr, out.data() + position, frames);
        position += frames;
    }
    ASSERT_GT(sent.size(), 20u);

    const std::vector<float> reference = renderPhrase(sent, kLength, kLength, adsr);
    // Sound at all, or the comparison below proves little.
    const auto sounding = std::count_if(reference.begin(), reference.end(),
                                        [](float sample) { return std::fabs(sample) > 0.01f; });
    ASSERT_GT(sounding, static_cast<std::ptrdiff_t>(kLength / 10));
    for (std::uint32_t i = 0; i < kLength; ++i) {
        ASSERT_EQ(bits(out[i]), bits(reference[i])) << "sample " << i;
    }
}

TEST(RenderProperties, AnySlidersAndAnyMessagesGiveFiniteOutput) {
    std::mt19937 random(99);
    for (int trial = 0; trial < 40; ++trial) {
        AdsrSettings adsr;
        adsr.attack = 1 + static_cast<std::int32_t>(random() % 2000);
        adsr.decay = 1 + static_cast<std::int32_t>(random() % 5000);
        adsr.sustain = static_cast<std::int32_t>(random() % 101);
        adsr.release = 1 + static_cast<std::int32_t>(random() % 5000);
        SynthState state;
        midi::MidiNoteHandler handler(state);
        setHavoc(state, 1 + static_cast<int>(random() % 100));
        setBedlam(state, 1 + static_cast<int>(random() % 100));
        setDisorder(state, static_cast<std::int64_t>(random() % 2001) - 1000);
        std::vector<float> block(512);
        for (int b = 0; b < 60; ++b) {
            // Raw 32-bit values too: the handler must take anything a driver hands it.
            handler.onMidiMessage(MidiMessageKind::Data, static_cast<std::uint32_t>(random()), 0);
            if (b % 7 == 0) {
                handler.onMidiMessage(MidiMessageKind::Data,
                                      packShortMessage(0x90, random() % 128, 1 + random() % 127),
                                      0);
            }
            if (b % 11 == 0) {
                handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
            }
            renderBlock(state, adsr, block.data(), static_cast<std::uint32_t>(block.size()));
            for (float sample : block) {
                ASSERT_TRUE(std::isfinite(sample)) << "trial " << trial;
            }
        }
    }
}

}  // namespace
}  // namespace vireon::engine
