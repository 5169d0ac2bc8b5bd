// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "midifile/MidiFile.h"
#include "offline/TimedMessage.h"

namespace vireon::offline {

using midifile::MidiFileEvent;

/// The message the note handler gets for a file event, or nothing for events that are not
/// played: only channel messages (status 0x80 to 0xEF) and system real-time bytes are fed;
/// system exclusive and system common messages are skipped. Any thread.
std::optional<std::uint32_t> feedableMessage(const MidiFileEvent& event);

/// The index of the sample nearest to a time in seconds, ties to even (the rounding used
/// throughout the engine). Nothing for a negative time or one beyond the last 32-bit index.
/// Any thread.
std::optional<std::uint32_t> sampleAtSeconds(double seconds);

/// The timed messages of a Standard MIDI File held in memory. On failure returns one sentence
/// naming the file as `name`. Any thread.
std::variant<std::vector<TimedMessage>, std::string> midiFileMessages(std::string_view file,
                                                                      const std::string& name);

}  // namespace vireon::offline
