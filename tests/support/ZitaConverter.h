// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "rate/Converter.h"

namespace vireon::testsupport {

/// zita-resampler behind the converter interface, with the half length 32 Vireon once used: the
/// reference that the own converter's quality and cost are compared with. Linux only.
std::unique_ptr<rate::RateRenderer::Converter> makeZitaConverter(std::uint32_t outputRate,
                                                                 std::uint64_t framesPerCycle);

}  // namespace vireon::testsupport
