// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vireon::midifile {

/// What is wrong with a MIDI file, as a phrase that completes "FILE is not a usable Standard
/// MIDI File: ...".
struct MidiFileProblem {
    std::string reason;
};

/// One event of a file that is not a meta event: a channel or system message, a system-exclusive
/// message (0xF0 and its data), or the bytes of an 0xF7 escape.
struct MidiFileEvent {
    /// From the start of the song, through the tempo changes of all tracks.
    double seconds;
    /// The whole message's length; only its first bytes are kept, which is all a short message has.
    std::uint32_t length;
    std::array<std::uint8_t, 3> bytes;
};

/// Reads a format 0 or format 1 Standard MIDI File held in memory: the events of all tracks,
/// merged in time order, meta events left out. Chunks other than the header and the tracks are
/// skipped. Refuses anything it cannot read whole (a length that runs past its chunk, a track
/// without an end-of-track event, an undefined status byte) rather than guess. Any thread.
std::variant<std::vector<MidiFileEvent>, MidiFileProblem> readMidiFileEvents(std::string_view file);

}  // namespace vireon::midifile
