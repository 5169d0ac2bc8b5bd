// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/NumberText.h"

#include "settings/NumberParser.h"

namespace vireon::offline {

std::optional<std::uint64_t> parseWholeNumber(std::string_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const settings::DigitRun digits = settings::scanDigits(text, base);
    if (text.empty() || digits.length != text.size() || digits.wrapped) {
        return std::nullopt;
    }
    return digits.value;
}

std::string quoteForMessage(std::string_view text) {
    constexpr std::size_t kMaxShown = 40;
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size() && i < kMaxShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        quoted += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    if (text.size() > kMaxShown) {
        quoted += "...";
    }
    quoted += '"';
    return quoted;
}

}  // namespace vireon::offline
