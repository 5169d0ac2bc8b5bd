// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vireon::settings {

/// The run of digits at the start of a text, in one base.
struct DigitRun {
    /// The digits' value, modulo 2^64.
    std::uint64_t value = 0;
    /// How many characters were digits; the run ends at the first that is not.
    std::size_t length = 0;
    /// True when the value did not fit in 64 bits and wrapped.
    bool wrapped = false;
};

/// Reads the digits of `base` (2, 10 or 16; hexadecimal letters in either case) at the start of
/// `text`. The one digit scanner behind every number Vireon reads. Any thread.
DigitRun scanDigits(std::string_view text, unsigned base);

/// The leading integer of a text: optional spaces and tabs, an optional sign, then decimal
/// digits, or hexadecimal after '$', or binary after '%'. Stops at the first other character;
/// no digits give 0. Wraps modulo 2^64 instead of failing, so any text has a value. Any thread.
std::int64_t parseNumber(std::string_view text);

}  // namespace vireon::settings
