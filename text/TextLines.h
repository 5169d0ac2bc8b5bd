// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vireon::text {

/// `text` without the spaces and tabs at either end.
inline std::string_view trimBlanks(std::string_view text) {
    // By hand rather than with find_first_not_of, which costs the web page's module a kilobyte.
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// Walks the text of one of Vireon's own files line by line, as people write them: with
/// Windows or Unix line ends, blanks around, blank lines and "#" comments skipped. Counts lines
/// from 1, so a message can say where.
class TextLines {
  public:
    explicit TextLines(std::string_view text) : rest_(text) {}

    /// The next meaningful line, trimmed, or nothing at the end of the text.
    std::optional<std::string_view> next() {
        while (!rest_.empty()) {
            const std::size_t end = rest_.find('\n');
            std::string_view line = rest_.substr(0, end);
            rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
            ++number_;
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            line = trimBlanks(line);
            if (!line.empty() && !line.starts_with('#')) {
                return line;
            }
        }
        return std::nullopt;
    }

    /// The number of the line next() returned last.
    std::size_t number() const { return number_; }

  private:
    std::string_view rest_;
    std::size_t number_ = 0;
};

}  // namespace vireon::text
