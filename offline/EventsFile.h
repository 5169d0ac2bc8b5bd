// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "offline/TimedMessage.h"

namespace vireon::offline {

/// Why an events text was refused: the line (counted from 1) and what is wrong with it, a
/// sentence without its final full stop.
struct EventsFileError {
    std::size_t line;
    std::string message;
};

/// Parses events text: one message per line as `<sample> <status> <data1> <data2>`, each number
/// decimal or 0x hex; `#` starts a comment that runs to the end of the line; blank lines are
/// skipped. Sample numbers must not decrease from one line to the next. Any thread.
std::variant<std::vector<TimedMessage>, EventsFileError> parseEvents(std::string_view text);

}  // namespace vireon::offline
