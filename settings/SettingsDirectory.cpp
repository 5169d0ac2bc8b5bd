// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsDirectory.h"

#include <string>

#include "settings/Platform.h"
#include "settings/SettingsFile.h"

namespace vireon::settings {
namespace {

constexpr std::string_view kLongPathPrefix = "\\\\?\\";

using platform::isSeparator;

}  // namespace

std::string settingsDirectoryFor(std::string_view programPath, std::string_view temporaryDirectory,
                                 std::string_view currentDirectory) {
    std::string_view path = programPath;
    if (path.starts_with(kLongPathPrefix)) {
        path.remove_prefix(kLongPathPrefix.size());
    }
    // A path taken from a command line may still carry its opening quote.
    if (path.starts_with('"')) {
        path.remove_prefix(1);
    }
    // Anything after a NUL or '|' is not part of the path (a command-line pipe, a C-string end).
    const std::size_t end = path.find_first_of(std::string_view("\0|", 2));
    if (end != std::string_view::npos) {
        path = path.substr(0, end);
    }
    std::size_t directoryLength = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (isSeparator(path[i])) {
            directoryLength = i + 1;
        }
    }
    const std::string_view directory = path.substr(0, directoryLength);

    // Byte-for-byte, case-sensitive on purpose: a folder that merely looks like the temporary
    // directory is treated as the program's real home.
    if (directory != temporaryDirectory) {
        return std::string(directory);
    }
    std::string result(currentDirectory);
    if (!result.empty() && !isSeparator(result.back())) {
        result += platform::separator();
    }
    return result;
}

std::string userSettingsDirectoryFor(std::string_view xdgConfigHome, std::string_view home) {
    // A relative XDG_CONFIG_HOME is invalid and must be ignored; it would follow the current
    // directory around.
    std::string base;
    if (xdgConfigHome.starts_with('/')) {
        base = xdgConfigHome;
    } else if (home.starts_with('/')) {
        base = home;
        if (!base.ends_with('/')) {
            base += '/';
        }
        base += ".config";
    } else {
        return {};
    }
    if (!base.ends_with('/')) {
        base += '/';
    }
    return base + "vireon/";
}

bool canKeepSettingsIn(const std::string& directory) {
    if (platform::mayCreateFilesIn(directory)) {
        return true;
    }
    // A settings file someone made writable for us in a folder we cannot write (one shared by
    // every user of a machine) is kept there; the save rewrites it in place.
    return platform::mayWrite(directory + std::string(kSettingsFileName));
}

std::string settingsDirectory() {
    // Each query that fails contributes an empty string, which the rule handles; a settings
    // file in an odd place is better than a start-up that fails.
    const std::string beside = settingsDirectoryFor(
        platform::programPath(), platform::temporaryDirectory(), platform::currentDirectory());
    const std::string user = platform::userSettingsDirectory();
    // With no home to go to, the program's folder still gives the file to read.
    if (user.empty() || canKeepSettingsIn(beside)) {
        return beside;
    }
    return user;
}

}  // namespace vireon::settings
