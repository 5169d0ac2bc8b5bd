// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "engine/Constants.h"
#include "rate/RateRenderer.h"

namespace vireon::rate {

inline constexpr std::uint32_t kEngineRate = static_cast<std::uint32_t>(engine::kSampleRate);

/// The streaming converter behind a RateRenderer, from kEngineRate to the output rate: Vireon's
/// own polyphase filter (rate/SincFilter.h), the same samples on every target.
class RateRenderer::Converter {
  public:
    struct Progress {
        std::uint32_t consumed;
        std::uint32_t produced;
    };

    /// A converter to `outputRate`, above kEngineRate, whose ratio to kEngineRate in lowest
    /// terms has `framesPerCycle` as its numerator. Throws std::invalid_argument when it cannot
    /// be set up. Allocates.
    static std::unique_ptr<Converter> create(std::uint32_t outputRate,
                                             std::uint64_t framesPerCycle);

    virtual ~Converter() = default;

    /// Starts over with all but one sample of a filter length of silence in the input; the
    /// caller supplies the last one. Rendering thread.
    virtual void reset() = 0;

    /// The engine samples each output frame is computed from. Any thread.
    virtual std::uint32_t filterLength() const = 0;

    /// Converts until the output is full or the input runs out, taking input only when the
    /// next output frame needs it. A null input means silence, a null output discards.
    /// Rendering thread.
    virtual Progress process(const float* input, std::uint32_t inputCount, float* output,
                             std::uint32_t outputCount) = 0;
};

}  // namespace vireon::rate
