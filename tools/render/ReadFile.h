// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "offline/TimedMessage.h"

namespace vireon::tools {

/// Reads the whole regular file at `path` into `contents`. On failure returns the reason as a
/// lower-case phrase ("no such file or directory", "it is a directory", "it is larger than ...").
/// Any thread.
std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes,
                                         std::string& contents);

/// Reads and parses the events file at `path`. On failure returns one sentence that names the
/// file, and the line where there is one. Any thread.
std::variant<std::vector<offline::TimedMessage>, std::string> readEventsFile(
    const std::string& path);

/// Reads a Standard MIDI File into timed messages. On failure returns one sentence naming the
/// file. Any thread.
std::variant<std::vector<offline::TimedMessage>, std::string> readMidiFile(
    const std::string& path);

}  // namespace vireon::tools
