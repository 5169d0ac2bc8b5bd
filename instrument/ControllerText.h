// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/ControllerMap.h"

namespace vireon::instrument {

/// What a controllers text says: the bindings it gives, and the numbers (from 1) of the lines
/// that give none because they are damaged.
struct ParsedControllers {
    ControllerMap controllers;
    std::vector<std::size_t> damagedLines;
};

/// Reads the text form of a ControllerMap: one binding per line, a control's symbol and a
/// controller number from 0 to 119 apart by spaces or tabs ("havoc 21"). Blank lines and lines
/// that start with '#' say nothing; a line ending in CR LF is read as one ending in LF. A later
/// line wins over an earlier one, as binding again does. Any thread.
ParsedControllers parseControllers(std::string_view text);

/// The text form of `controllers`: a comment that says what the lines mean, then one line per
/// bound control, in the order of the table of controls. Any thread.
std::string formatControllers(const ControllerMap& controllers);

}  // namespace vireon::instrument
