// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vireon::offline {

/// A whole number written in decimal ("40") or hexadecimal after 0x ("0x28"), with nothing
/// else around it: no sign, no spaces. Nothing for any other text or a value above 2^64 - 1.
/// Stricter than the settings file's parseNumber, which must give every stored text a value:
/// a command line or events file that is not clear is refused instead. Any thread.
std::optional<std::uint64_t> parseWholeNumber(std::string_view text);

/// The text in double quotes, fit for an error message: control and non-ASCII bytes become '?'
/// and long texts are cut short, so a binary file given by mistake cannot garble the terminal.
/// Any thread.
std::string quoteForMessage(std::string_view text);

}  // namespace vireon::offline
