// SPDX-License-Identifier: GPL-3.0-or-later
// The engine carried to other rates: exact at 8000 Hz, a clean band-limited copy elsewhere,
// events at exact frames, the same output for any block sizes, and no allocation.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/Samples.h"
#include "tests/support/SineFit.h"

namespace vireon::rate {
namespace {

using testsupport::firstBitDifference;

struct TimedMessage {
    std::uint64_t sample;  // at 8000 Hz
    std::uint32_t message;
};

const std::vector<TimedMessage> kPhrase = {
    {0, midi::packShortMessage(0x90, 69, 100)},    {2400, midi::packShortMessage(0x90, 81, 90)},
    {2401, midi::packShortMessage(0x80, 69, 0)},   {5003, midi::packShortMessage(0x80, 81, 0)},
    {7777, midi::packShortMessage(0x90, 40, 127)}, {9000, midi::packShortMessage(0x80, 40, 0)},
};

// Renders `frames` frames of the engine playing `messages` at `rate`, in blocks whose sizes come
// from `nextBlock`, splitting them at the messages as every client of the renderer does: at the
// first output frame of each message's engine sample, or at the last one when `onLastFrame`.
template <typename NextBlock>
std::vector<float> renderPhrase(std::uint32_t rate, const std::vector<TimedMessage>& messages,
                                std::uint64_t frames, NextBlock nextBlock,
                                bool onLastFrame = false) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    adsr.attack.store(300);
    adsr.decay.store(400);
    adsr.release.store(200);
    midi::MidiNoteHandler handler(state);
    RateRenderer renderer(state, adsr, rate);
    std::vector<float> out(frames);
    std::size_t next = 0;
    while (renderer.framesRendered() < frames) {
        const std::uint64_t blockEnd =
            std::min<std::uint64_t>(frames, renderer.framesRendered() + nextBlock());
        while (true) {
            const std::uint64_t eventFrame = next == messages.size() ? frames
                                             : onLastFrame
                                                 ? renderer.frameAt(messages[next].sample + 1) - 1
                                                 : renderer.frameAt(messages[next].sample);
            const std::uint64_t pieceEnd = std::min(blockEnd, eventFrame);
            renderer.render(out.data() + renderer.framesRendered(),
                            static_cast<std::uint32_t>(pieceEnd - renderer.framesRendered()));
            if (pieceEnd < eventFrame || eventFrame == frames) {
                break;
            }
            renderer.alignForEvent();
            EXPECT_EQ(renderer.engineSamplesRendered(), messages[next].sample) << rate;
            handler.onMidiMessage(midi::MidiMessageKind::Data, messages[next].message, 0);
            ++next;
        }
    }
    return out;
}

std::vector<float> renderPhraseInOneBlock(std::uint32_t rate,
                                          const std::vector<TimedMessage>& messages,
                                          std::uint64_t frames, bool onLastFrame = false) {
    return renderPhrase(
        rate, messages, frames, [&] { return frames; }, onLastFrame);
}

// A source of 8000 Hz samples other than the engine, for measuring the converter itself.
struct TestSignal {
    double frequency = 0.0;  // a sine of this frequency in Hz, amplitude 1; 0: an impulse
    std::uint64_t impulseAt = 0;
    std::uint64_t position = 0;

    SampleSource source() {
        return SampleSource{
            [](void* context, float* output, std::uint32_t count) {
                auto& signal = *static_cast<TestSignal*>(context);
                for (std::uint32_t i = 0; i < count; ++i, ++signal.position) {
                    output[i] = signal.frequency == 0.0
                                    ? (signal.position == signal.impulseAt ? 1.0f : 0.0f)
                                    : static_cast<float>(
                                          std::sin(2.0 * std::numbers::pi * signal.frequency *
                                                   static_cast<double>(signal.position) / 8000.0));
                }
            },
            this};
    }
};

std::vector<float> convert(TestSignal& signal, std::uint32_t rate, std::uint32_t frames) {
    RateRenderer renderer(signal.source(), rate);
    std::vector<float> out(frames);
    renderer.render(out.data(), frames);
    return out;
}

// At 8000 Hz the renderer is renderBlock itself: the offline renderer's and the program's tests
// at that rate compare it with the engine driven directly.
TEST(RateRenderer, RefusesRatesOutsideItsRangeAndConvertsAllOthers) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    EXPECT_THROW(RateRenderer(state, adsr, 7999), std::invalid_argument);
    EXPECT_THROW(RateRenderer(state, adsr, 192001), std::invalid_argument);
    const RateRenderer atEngineRate(state, adsr, 8000);
    EXPECT_FALSE(atEngineRate.converts());
    EXPECT_EQ(atEngineRate.latencyFrames(), 0u);
    EXPECT_EQ(atEngineRate.frameAt(1234), 1234u);
    EXPECT_TRUE(RateRenderer(state, adsr, 192000).converts());
}

TEST(RateRenderer, APassbandSineKeepsItsAmplitudeAndFrequencyWithImagesFarDown) {
    for (std::uint32_t rate : {44100u, 48000u, 96000u, 44101u}) {
        for (double frequency : {100.0, 1000.0, 3000.0}) {
            TestSignal signal{.frequency = frequency};
            const std::vector<float> out = convert(signal, rate, rate);
            // After the converter's start.
            const testsupport::SineFit fit = testsupport::fitSine(
                std::span<const float>(out).subspan(rate / 10), frequency, rate);
            const double gainDb = 20.0 * std::log10(fit.amplitude / kHeadroomGain);
            const double imagesDb = fit.restDb;
            EXPECT_NEAR(gainDb, 0.0, 0.1) << rate << " Hz, " << frequency << " Hz sine";
            // A rate no device uses (44101 Hz) takes interpolated taps, which leave its images a
            // little higher.
            EXPECT_LT(imagesDb, rate % 100 == 0 ? -120.0 : -95.0)
                << rate << " Hz, " << frequency << " Hz sine";
        }
    }
}

TEST(RateRenderer, AnImpulseArrivesTheReportedLatencyAfterItsFrame) {
    for (std::uint32_t rate : {44100u, 48000u, 96000u, 192000u, 22050u}) {
        for (std::uint64_t at : {0u, 1u, 37u, 1000u}) {
            TestSignal signal{.impulseAt = at};
            RateRenderer renderer(signal.source(), rate);
            std::vector<float> out(renderer.frameAt(at) + 4 * renderer.latencyFrames() + 64);
            renderer.render(out.data(), static_cast<std::uint32_t>(out.size()));
            const auto peak = std::max_element(out.begin(), out.end(), [](float x, float y) {
                return std::fabs(x) < std::fabs(y);
            });
            const auto expected =
                static_cast<std::ptrdiff_t>(renderer.frameAt(at) + renderer.latencyFrames());
            // Between the output frames of a fractional ratio the peak may fall one frame
            // either way; at a whole ratio it falls exactly.
            const std::ptrdiff_t slack = rate % 8000 == 0 ? 0 : 1;
            EXPECT_NEAR(peak - out.begin(), expected, slack) << rate << " Hz, impulse at " << at;
        }
    }
    engine::SynthState state;
    engine::AdsrSettings adsr;
    EXPECT_LE(RateRenderer(state, adsr, 48000).latencyFrames(), 250u);
}

TEST(RateRenderer, AfterAResetItStartsOverAsNew) {
    TestSignal signal{.frequency = 1000.0};
    RateRenderer renderer(signal.source(), 44100);
    std::vector<float> first(3000), again(3000);
    renderer.render(first.data(), 1234);
    renderer.alignForEvent();
    renderer.render(first.data() + 1234, 3000 - 1234);
    signal.position = 0;
    renderer.reset();
    EXPECT_EQ(renderer.framesRendered(), 0u);
    EXPECT_EQ(renderer.engineSamplesRendered(), 0u);
    renderer.render(again.data(), 3000);
    EXPECT_EQ(firstBitDifference(again, first), first.size());
}

TEST(RateRenderer, TheOutputDoesNotDependOnTheBlockSizes) {
    std::mt19937 random(8);
    for (std::uint32_t rate : {8000u, 44100u, 48000u, 96000u, 44101u}) {
        const std::uint64_t frames = 12000ull * rate / 8000;
        const std::vector<float> whole = renderPhraseInOneBlock(rate, kPhrase, frames);
        ASSERT_EQ(whole.size(), frames);
        // Every output frame of an engine sample stands for that sample, the last one too.
        EXPECT_EQ(firstBitDifference(renderPhraseInOneBlock(rate, kPhrase, frames, true), whole),
                  whole.size())
            << rate << " Hz";
        std::uniform_int_distribution<std::uint32_t> small(0, 9), large(0, 8192);
        for (int pass = 0; pass < 3; ++pass) {
            const std::vector<float> split = renderPhrase(rate, kPhrase, frames, [&] {
                // Mostly odd and tiny blocks, 0 among them, now and then a large one.
                return random() % 4 == 0 ? large(random)
                                         : small(random) * 2 + 1 - (random() % 9 == 0);
            });
            EXPECT_EQ(firstBitDifference(split, whole), whole.size()) << rate << " Hz";
        }
    }
}

TEST(RateRenderer, AtAWholeRatioANoteSoundsTheSameWhereverItStarts) {
    // What lets a live recording match a rendering from the note's onset: the same note at two
    // engine samples comes out as the same frames, shifted by the ratio.
    const std::uint32_t ratio = 6;
    const std::vector<float> early =
        renderPhraseInOneBlock(48000, {{1000, kPhrase[0].message}}, 60000);
    const std::vector<float> late =
        renderPhraseInOneBlock(48000, {{3333, kPhrase[0].message}}, 60000 + 2333 * ratio);
    const std::vector<float> shifted(late.begin() + 2333 * ratio, late.end());
    EXPECT_EQ(firstBitDifference(shifted, early), early.size());
    EXPECT_NE(*std::max_element(early.begin(), early.end()), 0.0f);
}

// A plugin lines its frames up with the host's timeline that way: whatever ran before, once
// quiet and restarted at the timeline's frame it plays as a rendering from the timeline's start.
TEST(RateRenderer, RestartedAtAFrameWhileQuietItPlaysAsARenderingFromTheStart) {
    struct Case {
        std::uint32_t rate;
        std::uint64_t before;  // frames played before the restart, the host's pre-roll
        std::uint64_t at;      // the timeline's frame there
    };
    for (const Case& test : {Case{48000, 1001, 0}, Case{48000, 5, 24001}, Case{44100, 333, 12345},
                             Case{96000, 7, 0}, Case{44101, 999, 30000}, Case{8000, 3, 17}}) {
        // Silent until engine sample 8000 of the timeline, a tone from there.
        const auto tone = [](std::uint64_t sample) {
            return sample < 8000 ? 0.0f : static_cast<float>(std::sin(0.3 * sample));
        };
        struct TimelineSource {
            const RateRenderer* renderer = nullptr;
            decltype(tone)* signal;
            bool before = true;
        };
        const auto source = [](TimelineSource& context) {
            return SampleSource{
                [](void* opaque, float* output, std::uint32_t count) {
                    auto& timeline = *static_cast<TimelineSource*>(opaque);
                    const std::uint64_t first = timeline.renderer->engineSamplesRendered();
                    for (std::uint32_t i = 0; i < count; ++i) {
                        output[i] = timeline.before ? 0.0f : (*timeline.signal)(first + i);
                    }
                },
                &context};
        };
        const std::uint64_t length = 12000ull * test.rate / 8000;
        TimelineSource fromStart{.signal = &tone, .before = false};
        RateRenderer reference(source(fromStart), test.rate);
        fromStart.renderer = &reference;
        std::vector<float> expected(test.at + length);
        reference.render(expected.data(), static_cast<std::uint32_t>(expected.size()));

        TimelineSource hosted{.signal = &tone};
        RateRenderer renderer(source(hosted), test.rate);
        hosted.renderer = &renderer;
        std::vector<float> output(std::max<std::uint64_t>(test.before, length));
        renderer.render(output.data(), static_cast<std::uint32_t>(test.before));
        ASSERT_TRUE(renderer.quiet());
        renderer.restartAt(test.at);
        hosted.before = false;
        renderer.render(output.data(), static_cast<std::uint32_t>(length));
        output.resize(length);
        const std::vector<float> timeline(expected.begin() + static_cast<std::ptrdiff_t>(test.at),
                                          expected.end());
        EXPECT_EQ(firstBitDifference(output, timeline), length)
            << test.rate << " Hz at " << test.at;
        EXPECT_NE(*std::max_element(timeline.begin(), timeline.end()), 0.0f);
    }
}

TEST(RateRenderer, RenderingAndAligningAllocateNothing) {
    if (!testsupport::AllocationCounter::available()) {
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";
    }
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    RateRenderer renderer(state, adsr, 48000);
    std::vector<float> out(8192);
    std::mt19937 random(48);
    testsupport::AllocationCounter allocations;
    for (int block = 0; block < 2000; ++block) {
        renderer.render(out.data(), random() % 8193);
        renderer.alignForEvent();
        handler.onMidiMessage(midi::MidiMessageKind::Data,
                              midi::packShortMessage(block % 2 ? 0x80 : 0x90, 60 + block % 24, 100),
                              0);
    }
    EXPECT_EQ(allocations.count(), 0u);
    // The counter itself works: the same thread's allocations are seen.
    std::vector<float>* allocated = new std::vector<float>(3);
    EXPECT_GE(allocations.count(), 2u);
    delete allocated;
}

}  // namespace
}  // namespace vireon::rate
