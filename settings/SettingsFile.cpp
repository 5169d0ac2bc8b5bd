// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsFile.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "settings/AtomicFile.h"
#include "settings/Platform.h"
#include "settings/SettingsDirectory.h"

namespace vireon::settings {
namespace {

using platform::File;
using platform::Outcome;
using platform::PathKind;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kLineTerminators{"\r\n\0", 3};
constexpr std::size_t kReadChunkBytes = 64 * 1024;

std::filesystem::path settingsPath() {
    return platform::pathFromUtf8(settingsDirectory() + std::string(kSettingsFileName));
}

/// The first line of `file`, cut after `limit` bytes, or nothing when it cannot be opened or
/// read. Reading stops at the limit: the rest of a huge line is never read at all.
std::optional<std::string> readFirstLine(const std::filesystem::path& path, std::size_t limit) {
    File file = File::openForReading(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    std::string line;
    char buffer[kReadChunkBytes];
    for (;;) {
        const std::size_t wanted = std::min(sizeof buffer, limit - line.size());
        if (wanted == 0) {
            return line;
        }
        const std::ptrdiff_t count = file.read(buffer, wanted);
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            return line;
        }
        const std::string_view chunk(buffer, static_cast<std::size_t>(count));
        const std::size_t end = chunk.find_first_of(kLineTerminators);
        line.append(chunk.substr(0, end));
        if (end != std::string_view::npos) {
            return line;
        }
    }
}

bool writeLine(File& file, std::string_view text) {
    return file.writeAll(text) && file.writeAll(kLineEnd);
}

/// Whether the first line of `file` is longer than `text` and begins with it.
bool firstLineContinues(std::string_view text, const std::filesystem::path& file) {
    try {
        const std::optional<std::string> line = readFirstLine(file, text.size() + 1);
        return line && line->size() > text.size() && line->starts_with(text);
    } catch (const std::exception&) {
        return false;
    }
}

/// Cuts an existing file to zero length and writes into it. A failure part-way loses the old
/// content, so this is only for files whose directory does not let us put a new file beside.
bool overwriteInPlace(std::string_view text, const std::filesystem::path& target) {
    File file = File::openForOverwrite(target);
    if (!file.isOpen()) {
        return false;
    }
    const bool written = writeLine(file, text) && file.syncToDisk();
    return file.close() && written;
}

}  // namespace

std::string loadSettings() {
    return loadSettings(settingsPath());
}

std::string loadSettings(const std::filesystem::path& file) {
    std::optional<std::string> line;
    try {
        line = readFirstLine(file, kMaxDisorderTextBytes);
    } catch (const std::exception&) {
        // Out of memory even for the capped line: the file counts as unreadable.
        line.reset();
    }
    if (!line) {
        return std::string(kDefaultDisorderText);
    }
    return std::move(*line);
}

bool saveSettings(std::string_view text) {
    const std::filesystem::path file = settingsPath();
    // The user's configuration folder may not exist yet; the program's own folder always does.
    try {
        platform::createFolders(file.parent_path());
    } catch (const std::exception&) {
        return false;
    }
    return saveSettings(text, file);
}

bool saveSettings(std::string_view text, const std::filesystem::path& file) {
    std::filesystem::path target;
    PathKind kind = PathKind::kUnknown;
    try {
        target = platform::resolveLinks(file);
        if (target.empty()) {
            return false;
        }
        kind = platform::kindOf(target);
    } catch (const std::exception&) {
        return false;
    }
    if (kind != PathKind::kMissing && kind != PathKind::kWritableFile) {
        return false;
    }
    const bool exists = kind == PathKind::kWritableFile;
    // The untouched box holds only the part of a longer line that loading read. Writing it back
    // would cut off the rest of the user's line for nothing: the file already loads as this text.
    if (exists && text.size() == kMaxDisorderTextBytes && firstLineContinues(text, target)) {
        return true;
    }

    try {
        switch (replaceFileAtomically(target, std::string(text) + std::string(kLineEnd), exists)) {
            case Outcome::kDone:
                return true;
            case Outcome::kDenied:
                return exists && overwriteInPlace(text, target);
            case Outcome::kExists:
            case Outcome::kFailed:
                break;
        }
    } catch (const std::exception&) {
        // Out of memory for a path: nothing was put in the file's place.
    }
    return false;
}

}  // namespace vireon::settings
