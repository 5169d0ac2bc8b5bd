// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vireon::test {

// A fixed sweep of control settings and phrases rendered through the engine and the note
// handling alone (standard library only), so that any platform can render it and compare.

/// One thing that happens at a sample: a MIDI short message, a slider move or a device close.
struct SweepEvent {
    enum class Kind { Message, Havoc, Bedlam, Close };
    std::int64_t sample;
    Kind kind;
    std::uint32_t value;  ///< the packed message, or the slider position
};

struct SweepCase {
    std::string name;
    int havoc;     ///< Havoc slider position, or 0 for the start-up omega
    int bedlam;    ///< Bedlam slider position, or 0 for the start-up k
    int disorder;  ///< the settings file's number, or -1 for no settings file
    std::int32_t attack, decay, sustain, release;
    std::vector<SweepEvent> events;
    int seconds;
};

inline constexpr int kSliceSamples = 8000;  // one second

/// The sweep: about a hundred three-second phrases and eight held notes of a minute.
std::vector<SweepCase> sweepCases();

/// The case's output, seconds * kSliceSamples samples.
std::vector<float> renderCase(const SweepCase& sweepCase);

/// FNV-1a over the samples' bit patterns, taken little-endian whatever the platform.
std::uint64_t hashSamples(const float* samples, std::size_t count);

}  // namespace vireon::test
