// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

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
constexpr int kMaxTemporaryNameAttempts = 100;

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

/// A name for a new file beside `target`. Uniqueness comes from creating it exclusively; the
/// name only has to make clashes unlikely.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (platform::processId() << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) {
        suffix += kAlphabet[mix % kAlphabet.size()];
        mix /= kAlphabet.size();
    }
    std::filesystem::path directory = target.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    // Put together as a path, so a name outside the narrow character set survives on Windows.
    std::filesystem::path name = ".";
    name += target.filename();
    name += suffix;
    return directory / name;
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

/// Writes the line into a new file beside `target` and puts it in the place of `target`, so
/// the old content is replaced only by a complete new one. A replaced file's owner and
/// permissions carry over.
Outcome replaceFile(std::string_view text, const std::filesystem::path& target, bool targetExists) {
    std::filesystem::path temporary;
    File file;
    Outcome created = Outcome::kFailed;
    for (int attempt = 0; attempt < kMaxTemporaryNameAttempts && !file.isOpen(); ++attempt) {
        temporary = temporaryNameBeside(target);
        file = File::createNew(temporary, created);
        if (created != Outcome::kDone && created != Outcome::kExists) {
            break;
        }
    }
    if (!file.isOpen()) {
        return created == Outcome::kDenied ? Outcome::kDenied : Outcome::kFailed;
    }

    bool written = writeLine(file, text);
    if (written && targetExists) {
        written = file.takeOverOwnershipOf(target);
    }
    // The new content must be on the disk before the name points at it: otherwise a power cut
    // soon after the replacement can leave an empty file where the old one was.
    written = written && file.syncToDisk();
    written = file.close() && written;
    const Outcome replaced = written ? platform::replace(temporary, target) : Outcome::kFailed;
    if (replaced != Outcome::kDone) {
        platform::remove(temporary);
    }
    return replaced;
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
        switch (replaceFile(text, target, exists)) {
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
