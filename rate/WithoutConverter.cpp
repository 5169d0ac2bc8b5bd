// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdexcept>

#include "rate/Converter.h"

namespace vireon::rate {

// Builds without zita-resampler (the Windows core, for which Debian ships none) play and render
// at the engine's own rate only: isSupportedOutputRate refuses every other rate, so no
// converter is ever asked for.

bool RateRenderer::Converter::available() {
    return false;
}

std::unique_ptr<RateRenderer::Converter> RateRenderer::Converter::create(std::uint32_t,
                                                                         std::uint64_t) {
    throw std::invalid_argument("This build has no rate converter: it renders at 8000 Hz only.");
}

}  // namespace vireon::rate
