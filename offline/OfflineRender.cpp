// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/OfflineRender.h"

#include <algorithm>

#include "controls/Controls.h"
#include "engine/Constants.h"
#include "instrument/Instrument.h"
#include "settings/NumberParser.h"

namespace vireon::offline {
namespace {

constexpr std::uint64_t kSamplesPerSecond = static_cast<std::uint64_t>(engine::kSampleRate);
constexpr std::uint64_t kMillisecondsPerSecond = 1000;
static_assert(kSamplesPerSecond % kMillisecondsPerSecond == 0,
              "a whole number of samples per millisecond keeps the release time exact");

}  // namespace

bool renderOffline(const RenderSettings& settings, std::span<const TimedMessage> messages,
                   std::uint32_t length, const SampleSink& sink) {
    // A fresh instrument is the application's start-up state without a settings file; the
    // settings then do what the sliders and the settings file would have done.
    instrument::Instrument instrument(settings.rate);
    using controls::ControlId;
    if (settings.sound) {
        // As a host restores a preset: a control already at its position keeps its state, so a
        // sound's start-up Havoc or Bedlam keeps the exact start-up value in every face.
        for (std::size_t i = 0; i < controls::kControlCount; ++i) {
            instrument.setControl(static_cast<ControlId>(i),
                                  static_cast<float>(settings.sound->positions[i]));
        }
    }
    if (settings.havoc) {
        instrument.moveControl(ControlId::Havoc, *settings.havoc);
    }
    if (settings.bedlam) {
        instrument.moveControl(ControlId::Bedlam, *settings.bedlam);
    }
    if (settings.disorder) {
        instrument.setDisorderValue(vireon::settings::parseNumber(*settings.disorder));
    }
    instrument.moveControl(ControlId::Attack, settings.attack);
    instrument.moveControl(ControlId::Decay, settings.decay);
    instrument.moveControl(ControlId::Sustain, settings.sustain);
    instrument.moveControl(ControlId::Release, settings.release);
    for (std::size_t i = static_cast<std::size_t>(controls::kFirstPlayingControl);
         i < controls::kControlCount; ++i) {
        instrument.moveControl(static_cast<ControlId>(i), settings.playing[i]);
    }
    instrument.setControllers(settings.controllers);

    // Each message goes in at the first frame of its engine sample; those at or after `length`
    // are not played.
    const auto due = [&](std::size_t index) {
        return index < messages.size() && messages[index].sample < length;
    };
    const std::uint64_t frames = instrument.frameAt(length);
    const std::uint64_t blockFrames = std::max<std::uint32_t>(settings.blockFrames, 1);
    std::vector<float> block(std::min(blockFrames, frames));
    std::size_t next = 0;
    std::uint64_t position = 0;
    while (position < frames) {
        const std::uint64_t blockStart = position;
        const std::uint64_t blockEnd = blockStart + std::min(blockFrames, frames - blockStart);
        while (position < blockEnd) {
            while (due(next) && instrument.frameAt(messages[next].sample) <= position) {
                instrument.handleMessage(messages[next].message);
                ++next;
            }
            // Stop short of the next message so that it lands on its own frame.
            std::uint64_t pieceEnd = blockEnd;
            if (due(next)) {
                pieceEnd = std::min(pieceEnd, instrument.frameAt(messages[next].sample));
            }
            instrument.render(block.data() + (position - blockStart),
                              static_cast<std::uint32_t>(pieceEnd - position));
            position = pieceEnd;
        }
        if (!sink(std::span<const float>(block.data(), blockEnd - blockStart))) {
            return false;
        }
    }
    return true;
}

std::vector<float> renderOffline(const RenderSettings& settings,
                                 std::span<const TimedMessage> messages, std::uint32_t length) {
    std::vector<float> samples;
    samples.reserve(outputFrames(settings, length));
    renderOffline(settings, messages, length, [&](std::span<const float> block) {
        samples.insert(samples.end(), block.begin(), block.end());
        return true;
    });
    return samples;
}

std::uint64_t outputFrames(const RenderSettings& settings, std::uint64_t length) {
    // frameAt(length), without a converter to ask.
    return (length * settings.rate + kSamplesPerSecond - 1) / kSamplesPerSecond;
}

std::uint64_t defaultRenderLength(std::span<const TimedMessage> messages,
                                  std::int32_t releaseMilliseconds) {
    const std::uint64_t lastSample = messages.empty() ? 0 : messages.back().sample;
    const std::uint64_t releaseSamples = static_cast<std::uint64_t>(releaseMilliseconds) *
                                         (kSamplesPerSecond / kMillisecondsPerSecond);
    return lastSample + releaseSamples + kSamplesPerSecond;
}

}  // namespace vireon::offline
