// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "settings/Platform.h"
#include "settings/SettingsDirectory.h"
#include "settings/WriteAll.h"

namespace vireon::settings::platform {
namespace {

// The same bound the kernel puts on a path's chain of links.
constexpr int kMaxLinkHops = 40;
constexpr mode_t kAnyWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;

int descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

bool isRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool syncDescriptor(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

/// Makes the entries of `folder` (a new, renamed or removed name) durable. Best effort: by the
/// time this runs the file is complete under its name, whatever the disk says.
void syncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        syncDescriptor(fd);
        ::close(fd);
    }
}

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
    return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir)
                                                        : std::string();
}

}  // namespace

// A backslash is an ordinary file-name character here: treating it as a separator would cut
// "/opt/a\b/vireon" at the wrong place.
bool isSeparator(char c) {
    return c == '/';
}

char separator() {
    return '/';
}

std::filesystem::path pathFromUtf8(std::string_view text) {
    // File names are bytes here; any bytes, valid UTF-8 or not, name the file they spell.
    return std::filesystem::path(text);
}

std::string programPath() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.string();
}

std::string temporaryDirectory() {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) {
        return {};
    }
    // The executable's path is fully resolved, so the temporary directory must be too, or a
    // symlinked TMPDIR would never match.
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(temporary, error);
    if (error) {
        return {};
    }
    std::string result = canonical.string();
    if (result.empty() || result.back() != '/') {
        result += '/';
    }
    return result;
}

std::string currentDirectory() {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string() : current.string();
}

std::string userSettingsDirectory() {
    return userSettingsDirectoryFor(environmentValue("XDG_CONFIG_HOME"), homeDirectory());
}

bool mayCreateFilesIn(const std::string& folder) {
    // The effective identity decides, as it does for the open and rename of the save. Write
    // access to a folder is not enough: the save also has to reach into it.
    const std::string name = folder.empty() ? std::string(".") : folder;
    return ::faccessat(AT_FDCWD, name.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool mayWrite(const std::string& file) {
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
}

PathKind kindOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? PathKind::kMissing : PathKind::kUnknown;
    }
    // Mode bits rather than a failed open decide "read-only": root opens any file for
    // writing, but a file its owner marked read-only must still stay as it is.
    if (!S_ISREG(info.st_mode) || (info.st_mode & kAnyWriteBits) == 0) {
        return PathKind::kLeaveAlone;
    }
    return PathKind::kWritableFile;
}

std::filesystem::path resolveLinks(const std::filesystem::path& start) {
    std::filesystem::path path = start;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            return {};
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return {};
}

void createFolders(const std::filesystem::path& folder) {
    if (folder.empty() || folder == folder.parent_path()) {
        return;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        return;
    }
    createFolders(folder.parent_path());
    // Readable by the user alone, as a configuration folder should be; each new entry is made
    // durable in its parent.
    if (::mkdir(folder.c_str(), 0700) == 0) {
        syncFolder(folder.parent_path());
    }
}

std::uint64_t processId() {
    return static_cast<std::uint64_t>(::getpid());
}

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kClosed);
    }
    return *this;
}

File::~File() {
    close();
}

File File::openForReading(const std::filesystem::path& path) {
    // Checked before opening so that a device file is never opened at all, and again on the
    // descriptor in case the path changed in between. O_NONBLOCK keeps a named pipe from
    // stalling start-up until some writer appears.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return File();
    }
    File file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.isOpen() && !isRegularFile(descriptor(file.handle_))) {
        return File();
    }
    return file;
}

File File::createNew(const std::filesystem::path& path, Outcome& outcome) {
    // 0666 lets the umask decide a new file's permissions, as for any other created file.
    File file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    const int error = file.isOpen() ? 0 : errno;
    outcome = error == 0                          ? Outcome::kDone
              : error == EEXIST                   ? Outcome::kExists
              : error == EACCES || error == EPERM ? Outcome::kDenied
                                                  : Outcome::kFailed;
    return file;
}

File File::openForOverwrite(const std::filesystem::path& path) {
    File file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.isOpen() && !isRegularFile(descriptor(file.handle_))) {
        return File();
    }
    return file;
}

std::ptrdiff_t File::read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::read(descriptor(handle_), buffer, size);
        if (count >= 0 || errno != EINTR) {
            return count;
        }
    }
}

bool File::writeAll(std::string_view bytes) {
    return settings::writeAll(descriptor(handle_), bytes);
}

bool File::takeOverOwnershipOf(const std::filesystem::path& existing) {
    struct stat info {};
    if (::lstat(existing.c_str(), &info) != 0) {
        return false;
    }
    // Only root can give the file away; anyone else keeps the file as their own, which is
    // still the right content, so that failure is not a reason to give up.
    [[maybe_unused]] const int owned = ::fchown(descriptor(handle_), info.st_uid, info.st_gid);
    // After fchown, which may clear set-id bits.
    return ::fchmod(descriptor(handle_), info.st_mode & kPermissionBits) == 0;
}

bool File::syncToDisk() {
    return syncDescriptor(descriptor(handle_));
}

bool File::close() {
    if (!isOpen()) {
        return true;
    }
    const int result = ::close(descriptor(std::exchange(handle_, kClosed)));
    return result == 0;
}

Outcome replace(const std::filesystem::path& temporary, const std::filesystem::path& target) {
    if (::rename(temporary.c_str(), target.c_str()) == 0) {
        // The rename itself lives in the folder; until that reaches the disk, a power cut may
        // bring back the old file.
        syncFolder(target.parent_path());
        return Outcome::kDone;
    }
    return errno == EACCES || errno == EPERM ? Outcome::kDenied : Outcome::kFailed;
}

void remove(const std::filesystem::path& path) {
    ::unlink(path.c_str());
}

}  // namespace vireon::settings::platform
