// SPDX-License-Identifier: GPL-3.0-or-later
#include "sounds/SoundFile.h"

#include <cstdlib>
#include <system_error>

#include "settings/AtomicFile.h"
#include "settings/Platform.h"
#include "settings/SmallFile.h"

namespace vireon::sounds {
namespace {

namespace platform = settings::platform;

[[maybe_unused]] std::string_view environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

/// Why `path` cannot be opened for reading, in the words of readSoundFile.
std::string unreadableReason(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return "there is no such file";
    }
    if (!error && status.type() != std::filesystem::file_type::regular) {
        return "it is not a regular file";
    }
    return "it cannot be read; check its permissions";
}

}  // namespace

std::filesystem::path userSoundsFolderFor(std::string_view xdgDataHome, std::string_view home) {
    // A relative XDG_DATA_HOME is invalid and must be ignored, as for the settings folder.
    if (xdgDataHome.starts_with('/')) {
        return std::filesystem::path(xdgDataHome) / "vireon" / "sounds";
    }
    if (home.starts_with('/')) {
        return std::filesystem::path(home) / ".local" / "share" / "vireon" / "sounds";
    }
    return {};
}

std::filesystem::path userSoundsFolder() {
#ifdef _WIN32
    // A user's own files of a program belong in the roaming application data, which follows the
    // user to other machines of the same network.
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData == nullptr || *appData == L'\0') {
        return {};
    }
    return std::filesystem::path(appData) / "Vireon" / "sounds";
#else
    return userSoundsFolderFor(environmentValue("XDG_DATA_HOME"), environmentValue("HOME"));
#endif
}

ParsedSound readSoundFile(const std::filesystem::path& path) {
    // One byte past the limit tells a file of exactly the limit from a larger one.
    const std::optional<std::string> text = settings::readSmallFile(path, kMaxSoundFileBytes + 1);
    if (!text) {
        return unreadableReason(path);
    }
    if (text->size() > kMaxSoundFileBytes) {
        return "it is larger than " + std::to_string(kMaxSoundFileBytes) +
               " bytes, far more than a sound";
    }
    return parseSound(*text);
}

std::string saveSoundFile(const std::filesystem::path& path, const Sound& sound) {
    if (std::string problem = checkSound(sound); !problem.empty()) {
        return problem;
    }
    const std::filesystem::path target = platform::resolveLinks(path);
    if (target.empty()) {
        return "it is a link that leads nowhere";
    }
    const platform::PathKind kind = platform::kindOf(target);
    switch (kind) {
        case platform::PathKind::kMissing:
        case platform::PathKind::kWritableFile:
            break;
        case platform::PathKind::kLeaveAlone:
            return "it is read-only or not a regular file";
        case platform::PathKind::kUnknown:
            return "its folder cannot be reached";
    }
    switch (settings::replaceFileAtomically(target, formatSound(sound),
                                            kind == platform::PathKind::kWritableFile)) {
        case platform::Outcome::kDone:
            return {};
        case platform::Outcome::kDenied:
            return "its folder does not let you create files";
        case platform::Outcome::kExists:
        case platform::Outcome::kFailed:
            break;
    }
    return "writing it failed; check that its folder exists and the disk has room";
}

}  // namespace vireon::sounds
