#include "settings/SettingsDirectory.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "settings/SettingsFile.h"

namespace vireon::settings {
namespace {

constexpr std::string_view kLongPathPrefix = "\\\\?\\";

// Windows accepts both slashes as separators. Elsewhere a backslash is an ordinary file-name
// character, so treating it as a separator would cut "/opt/a\b/vireon" at the wrong place.
#ifdef _WIN32
constexpr char kSeparator = '\\';
bool isSeparator(char c) {
    return c == '\\' || c == '/';
}
#else
constexpr char kSeparator = '/';
bool isSeparator(char c) {
    return c == '/';
}
#endif

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
        result += kSeparator;
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
    const std::string folder = directory.empty() ? std::string(".") : directory;
    // The effective identity decides, as it does for the open and rename of the save. Write
    // access to a folder is not enough: the save also has to reach into it.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
        return true;
    }
    // A settings file someone made writable for us in a folder we cannot write (one shared by
    // every user of a machine) is kept there; the save rewrites it in place.
    const std::string file = directory + std::string(kSettingsFileName);
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
}

namespace {

std::string_view environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

/// $HOME, or the home folder the user database names when HOME is not set.
std::string homeDirectory() {
    const std::string_view home = environmentValue("HOME");
    if (!home.empty()) {
        return std::string(home);
    }
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir) : std::string();
}

std::string programDirectory() {
    // Each query that fails contributes an empty string, which the rule above handles; a settings
    // file in an odd place is better than a start-up that fails.
    std::error_code error;
    std::string programPath;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        programPath = executable.string();
    }

    std::string temporaryDirectory;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (!error) {
        // The executable's path is fully resolved, so the temporary directory must be too, or a
        // symlinked TMPDIR would never match.
        const std::filesystem::path canonical = std::filesystem::weakly_canonical(temporary, error);
        if (!error) {
            temporaryDirectory = canonical.string();
            if (temporaryDirectory.empty() || !isSeparator(temporaryDirectory.back())) {
                temporaryDirectory += kSeparator;
            }
        }
    }

    std::string currentDirectory;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (!error) {
        currentDirectory = current.string();
    }
    return settingsDirectoryFor(programPath, temporaryDirectory, currentDirectory);
}

}  // namespace

std::string settingsDirectory() {
    const std::string beside = programDirectory();
    if (canKeepSettingsIn(beside)) {
        return beside;
    }
    const std::string user =
        userSettingsDirectoryFor(environmentValue("XDG_CONFIG_HOME"), homeDirectory());
    // With no home to go to, the program's folder still gives the file to read.
    return user.empty() ? beside : user;
}

}  // namespace vireon::settings
