// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "offline/RenderSettings.h"
#include "offline/TimedMessage.h"

namespace vireon::offline {

/// Receives the rendered samples in order, one block at a time. Returns false to stop the
/// rendering, for example when the output cannot be written.
using SampleSink = std::function<bool(std::span<const float>)>;

/// Renders `length` samples of the engine from the start-up state with the settings' envelope
/// and chaos controls, handing each message to the note handler just before its sample is
/// rendered, and carries them to settings.rate: outputFrames(settings, length) frames, each
/// message at the first frame of its sample. Messages must be in non-decreasing sample order;
/// those at or after `length` are not played. Blocks of settings.blockFrames frames are split at
/// the messages, so the result is the same for every block size. Returns false if the sink
/// stopped it. Any thread; memory stays bounded by the block size whatever the length.
bool renderOffline(const RenderSettings& settings, std::span<const TimedMessage> messages,
                   std::uint32_t length, const SampleSink& sink);

/// How many frames renderOffline writes for `length` engine samples at settings.rate.
std::uint64_t outputFrames(const RenderSettings& settings, std::uint64_t length);

/// The same rendering collected into memory.
std::vector<float> renderOffline(const RenderSettings& settings,
                                 std::span<const TimedMessage> messages, std::uint32_t length);

/// The length to render when none is given: the last message's sample, then the release time,
/// then one more second, so the last note can ring out. Can exceed kMaxRenderLength.
std::uint64_t defaultRenderLength(std::span<const TimedMessage> messages,
                                  std::int32_t releaseMilliseconds);

}  // namespace vireon::offline
