// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/OfflineRender.h"

#include <algorithm>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/Constants.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"
#include "settings/NumberParser.h"

namespace vireon::tools {
namespace {

constexpr std::uint64_t kSamplesPerSecond = static_cast<std::uint64_t>(engine::kSampleRate);
constexpr std::uint64_t kMillisecondsPerSecond = 1000;
static_assert(kSamplesPerSecond % kMillisecondsPerSecond == 0,
              "a whole number of samples per millisecond keeps the release time exact");

}  // namespace

bool renderOffline(const RenderOptions& options, std::span<const TimedMessage> messages,
                   std::uint32_t length, const SampleSink& sink) {
    // A default-constructed state is the application's start-up state without a settings file;
    // the options then do what the sliders and the settings file would have done.
    engine::SynthState state;
    if (options.havoc) {
        engine::setHavoc(state, *options.havoc);
    }
    if (options.bedlam) {
        engine::setBedlam(state, *options.bedlam);
    }
    if (options.disorder) {
        engine::setDisorder(state, settings::parseNumber(*options.disorder));
    }
    engine::AdsrSettings adsr;
    adsr.attack.store(options.attack);
    adsr.decay.store(options.decay);
    adsr.sustain.store(options.sustain);
    adsr.release.store(options.release);
    midi::MidiNoteHandler noteHandler(state);
    rate::RateRenderer renderer(state, adsr, options.rate);

    // Each message goes in at the first frame of its engine sample; those at or after `length`
    // are not played.
    const auto due = [&](std::size_t index) {
        return index < messages.size() && messages[index].sample < length;
    };
    const std::uint64_t frames = renderer.frameAt(length);
    const std::uint64_t blockFrames = std::max<std::uint32_t>(options.blockFrames, 1);
    std::vector<float> block(std::min(blockFrames, frames));
    std::size_t next = 0;
    while (renderer.framesRendered() < frames) {
        const std::uint64_t blockStart = renderer.framesRendered();
        const std::uint64_t blockEnd = blockStart + std::min(blockFrames, frames - blockStart);
        while (renderer.framesRendered() < blockEnd) {
            while (due(next) &&
                   renderer.frameAt(messages[next].sample) <= renderer.framesRendered()) {
                renderer.alignForEvent();
                noteHandler.onMidiMessage(midi::MidiMessageKind::Data, messages[next].message, 0);
                ++next;
            }
            // Stop short of the next message so that it lands on its own frame.
            std::uint64_t pieceEnd = blockEnd;
            if (due(next)) {
                pieceEnd = std::min(pieceEnd, renderer.frameAt(messages[next].sample));
            }
            const std::uint64_t position = renderer.framesRendered();
            renderer.render(block.data() + (position - blockStart),
                            static_cast<std::uint32_t>(pieceEnd - position));
        }
        if (!sink(std::span<const float>(block.data(), blockEnd - blockStart))) {
            return false;
        }
    }
    return true;
}

std::vector<float> renderOffline(const RenderOptions& options,
                                 std::span<const TimedMessage> messages, std::uint32_t length) {
    std::vector<float> samples;
    samples.reserve(outputFrames(options, length));
    renderOffline(options, messages, length, [&](std::span<const float> block) {
        samples.insert(samples.end(), block.begin(), block.end());
        return true;
    });
    return samples;
}

std::uint64_t outputFrames(const RenderOptions& options, std::uint64_t length) {
    // frameAt(length), without a converter to ask.
    return (length * options.rate + kSamplesPerSecond - 1) / kSamplesPerSecond;
}

std::uint64_t defaultRenderLength(std::span<const TimedMessage> messages,
                                  std::int32_t releaseMilliseconds) {
    const std::uint64_t lastSample = messages.empty() ? 0 : messages.back().sample;
    const std::uint64_t releaseSamples = static_cast<std::uint64_t>(releaseMilliseconds) *
                                         (kSamplesPerSecond / kMillisecondsPerSecond);
    return lastSample + releaseSamples + kSamplesPerSecond;
}

}  // namespace vireon::tools
