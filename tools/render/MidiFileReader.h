// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/render/TimedMessage.h"

namespace vireon::tools {

/// What is wrong with a MIDI file, as a phrase that completes "FILE is not a usable Standard
/// MIDI File: ...".
struct MidiFileProblem {
    std::string reason;
};

/// One event as the MIDI file library hands it over, meta events left out.
struct MidiFileEvent {
    double seconds;
    /// The whole message's length; only its first bytes are kept, which is all a short message has.
    std::uint32_t length;
    std::array<std::uint8_t, 3> bytes;
};

/// Checks a Standard MIDI File's chunk structure before the MIDI file library sees it: the
/// "MThd" header, every chunk's size within the file, the declared number of tracks, and an
/// end-of-track event closing each track. The library reads past the end of its buffer or aborts
/// on files that fail these checks. Returns the file with only its header and track chunks,
/// since the library would count any other chunk as a track and lose a real one. Any thread.
std::variant<std::string, MidiFileProblem> keepHeaderAndTracks(std::string_view file);

/// Reads all events of a file that passed keepHeaderAndTracks, tracks merged in time order, with
/// tempo changes applied to their times. The library runs in a child process: it aborts on some
/// malformed track data, and that must end in a message, not in a crash. (Debian's in-process
/// alternative, drumstick's QSmf, survives such data but refuses whole files for a real-time
/// byte inside a track, which this reader plays, and ties the renderer to Qt 5.) Call from a
/// single-threaded process.
std::variant<std::vector<MidiFileEvent>, MidiFileProblem> loadMidiEvents(std::string_view file);

/// The message the note handler gets for a file event, or nothing for events that are not
/// played: only channel messages (status 0x80 to 0xEF) and system real-time bytes are fed;
/// system exclusive and system common messages are skipped. Any thread.
std::optional<std::uint32_t> feedableMessage(const MidiFileEvent& event);

/// The index of the sample nearest to a time in seconds, ties to even (the rounding used
/// throughout the engine). Nothing for a negative time or one beyond the last 32-bit index.
/// Any thread.
std::optional<std::uint32_t> sampleAtSeconds(double seconds);

/// Reads a Standard MIDI File into timed messages. On failure returns one sentence naming the
/// file. Call from a single-threaded process (see loadMidiEvents).
std::variant<std::vector<TimedMessage>, std::string> readMidiFile(const std::string& path);

}  // namespace vireon::tools
