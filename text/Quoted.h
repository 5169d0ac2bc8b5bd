// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace vireon::text {

/// `text` in double quotes with its quotes and backslashes escaped: a JSON string and a Turtle
/// string alike, as long as `text` holds no control characters (which the table of controls and
/// every checked sound guarantee). UTF-8 stays as it is.
inline std::string backslashQuoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace vireon::text
