// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "engine/AdsrSettings.h"
#include "offline/TimedMessage.h"

namespace vireon::testsupport {

/// Renders `length` samples from the start-up state with the envelope sliders of `adsr`,
/// handing each message to the note handler just before its sample, in blocks of at most
/// `blockFrames` frames: the offline renderer's own loop, so tests compare against exactly what
/// the renderer produces. Messages must be in non-decreasing sample order.
std::vector<float> renderPhrase(const std::vector<offline::TimedMessage>& messages,
                                std::uint32_t length, std::uint32_t blockFrames,
                                const engine::AdsrSettings& adsr = engine::AdsrSettings{});

}  // namespace vireon::testsupport
