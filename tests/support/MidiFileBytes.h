// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vireon::test {

inline std::string bigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

inline std::string midiChunk(const std::string& id, const std::string& data) {
    return id + bigEndian(static_cast<std::uint32_t>(data.size()), 4) + data;
}

/// A format 1 Standard MIDI File holding the given track data; `declaredTracks` other than 0
/// overrides the count in the header.
inline std::string midiFile(const std::vector<std::string>& tracks,
                            std::uint32_t ticksPerQuarter = 96, std::uint32_t declaredTracks = 0) {
    std::string file = midiChunk(
        "MThd",
        std::string("\x00\x01", 2) +
            bigEndian(declaredTracks ? declaredTracks : static_cast<std::uint32_t>(tracks.size()),
                      2) +
            bigEndian(ticksPerQuarter, 2));
    for (const std::string& track : tracks) {
        file += midiChunk("MTrk", track);
    }
    return file;
}

/// Track data from events at absolute ticks, in order, each with its delta time in front and
/// an end-of-track event after the last.
inline std::string midiTrack(const std::vector<std::pair<std::uint32_t, std::string>>& events) {
    std::string track;
    std::uint32_t previous = 0;
    for (const auto& [ticks, bytes] : events) {
        std::uint32_t delta = ticks - previous;
        std::string quantity(1, static_cast<char>(delta & 0x7F));
        while ((delta >>= 7) != 0) {
            quantity.insert(quantity.begin(), static_cast<char>(0x80 | (delta & 0x7F)));
        }
        track += quantity + bytes;
        previous = ticks;
    }
    return track + std::string("\x00\xFF\x2F\x00", 4);
}

}  // namespace vireon::test
