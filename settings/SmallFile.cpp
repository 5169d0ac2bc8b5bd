// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SmallFile.h"

#include <algorithm>

#include "settings/Platform.h"

namespace vireon::settings {

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit) {
    platform::File file = platform::File::openForReading(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
        const std::ptrdiff_t count =
            file.read(buffer, std::min(sizeof buffer, limit - text.size()));
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

}  // namespace vireon::settings
