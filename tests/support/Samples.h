// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vireon::testsupport {

/// The samples from the first non-zero one on (empty if there is none). A recording of a live
/// stream starts at an unknown point, so recordings are compared from where the sound begins.
std::vector<float> alignAtFirstNonZero(const std::vector<float>& samples);

/// A note played live at a converted rate starts at some engine sample s, and how its frames fall
/// depends on s modulo `phases`, the engine samples per cycle of the rate ratio (1 at 48000 Hz,
/// 80 at 44100 Hz). Returns the phase k for which `reference(k)`, the note rendered from engine
/// sample k, equals `recorded` from the first sound on, bit for bit over `count` samples; none
/// when no phase does. `recorded` starts at its first sound.
std::optional<std::uint32_t> matchingOnsetPhase(
    const std::vector<float>& recorded, std::size_t count, std::uint32_t phases,
    const std::function<std::vector<float>(std::uint32_t)>& reference);

/// Asks `recording` for everything recorded so far every `interval` until `count` samples from
/// the first non-zero one on are in, or `timeout` has passed; returns the recording from that
/// first non-zero sample on. For a note played into a live stream at an unknown point.
std::vector<float> waitForSound(const std::function<std::vector<float>()>& recording,
                                std::size_t count, std::chrono::milliseconds timeout,
                                std::chrono::milliseconds interval);

/// Index of the first sample whose bits differ between `a` and `b` within their common length,
/// or that common length when they agree.
std::size_t firstBitDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace vireon::testsupport
