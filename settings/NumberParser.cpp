// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/NumberParser.h"

#include <limits>
#include <optional>

namespace vireon::settings {
namespace {

std::optional<unsigned> digitValue(char c, unsigned base) {
    unsigned value;
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
        value = static_cast<unsigned>(c - 'A' + 10);
    } else {
        return std::nullopt;
    }
    if (value >= base) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

DigitRun scanDigits(std::string_view text, unsigned base) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    DigitRun run;
    for (; run.length < text.size(); ++run.length) {
        const std::optional<unsigned> digit = digitValue(text[run.length], base);
        if (!digit) {
            break;
        }
        if (run.value > (kMax - *digit) / base) {
            run.wrapped = true;
        }
        // Unsigned arithmetic wraps modulo 2^64 by definition.
        run.value = run.value * base + *digit;
    }
    return run;
}

std::int64_t parseNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    } else if (i < text.size() && text[i] == '+') {
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        base = 2;
        ++i;
    }
    std::uint64_t value = scanDigits(text.substr(i), base).value;
    if (negative) {
        value = 0 - value;
    }
    // The two's complement reading of the wrapped value.
    return static_cast<std::int64_t>(value);
}

}  // namespace vireon::settings
