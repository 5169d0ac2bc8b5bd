#include "settings/NumberParser.h"

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
    // Unsigned arithmetic wraps modulo 2^64 by definition; the signed result is its two's
    // complement reading.
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const std::optional<unsigned> digit = digitValue(text[i], base);
        if (!digit) {
            break;
        }
        value = value * base + *digit;
    }
    if (negative) {
        value = 0 - value;
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace vireon::settings
