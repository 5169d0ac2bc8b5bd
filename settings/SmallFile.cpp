// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SmallFile.h"

#include <algorithm>
#include <exception>

#include "settings/AtomicFile.h"
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

bool writeSmallFile(const std::filesystem::path& file, std::string_view bytes) {
    try {
        platform::createFolders(file.parent_path());
        const std::filesystem::path target = platform::resolveLinks(file);
        if (target.empty()) {
            return false;
        }
        const platform::PathKind kind = platform::kindOf(target);
        if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kWritableFile) {
            return false;
        }
        return replaceFileAtomically(target, bytes, kind == platform::PathKind::kWritableFile) ==
               platform::Outcome::kDone;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // A path the system cannot handle: nothing was put in the file's place.
        return false;
    }
}

}  // namespace vireon::settings
