#pragma once

#include <cstdint>
#include <string_view>

namespace vireon::settings {

/// The leading integer of a text: optional spaces and tabs, an optional sign, then decimal
/// digits, or hexadecimal after '$', or binary after '%'. Stops at the first other character;
/// no digits give 0. Wraps modulo 2^64 instead of failing, so any text has a value. Any thread.
std::int64_t parseNumber(std::string_view text);

}  // namespace vireon::settings
