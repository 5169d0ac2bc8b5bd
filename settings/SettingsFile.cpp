#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "engine/ChaosOscillator.h"
#include "engine/Constants.h"
#include "settings/NumberParser.h"
#include "settings/SettingsDirectory.h"
#include "settings/WriteAll.h"

namespace vireon::settings {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kLineTerminators{"\r\n\0", 3};
constexpr std::size_t kReadChunkBytes = 64 * 1024;
// The same bound the kernel puts on a path's chain of links.
constexpr int kMaxLinkHops = 40;
constexpr int kMaxTemporaryNameAttempts = 100;
constexpr mode_t kAnyWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;

/// Owns a file descriptor and closes it on every way out.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

    /// Takes over `fd`, closing whatever was held before.
    void reset(int fd) {
        close();
        fd_ = fd;
    }

    /// Closes now and reports whether the close succeeded; a failed close can mean that written
    /// data never reached the file.
    bool close() {
        if (fd_ < 0) {
            return true;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

  private:
    int fd_;
};

std::filesystem::path settingsPath() {
    return std::filesystem::path(settingsDirectory() + std::string(kSettingsFileName));
}

bool isRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

/// The first line of `file`, cut after `limit` bytes, or nothing when it cannot be opened or
/// read. Reading stops at the limit: the rest of a huge line is never read at all.
std::optional<std::string> readFirstLine(const std::filesystem::path& file, std::size_t limit) {
    // Checked before opening so that a device file is never opened at all, and again on the
    // descriptor in case the path changed in between. O_NONBLOCK keeps a named pipe from
    // stalling start-up until some writer appears.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.isOpen() || !isRegularFile(fd.get())) {
        return std::nullopt;
    }
    std::string line;
    char buffer[kReadChunkBytes];
    for (;;) {
        const std::size_t wanted = std::min(sizeof buffer, limit - line.size());
        if (wanted == 0) {
            return line;
        }
        const ssize_t count = ::read(fd.get(), buffer, wanted);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
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

bool writeLine(int fd, std::string_view text) {
    return writeAll(fd, text) && writeAll(fd, kLineEnd);
}

bool syncToDisk(int fd) {
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
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.isOpen()) {
        syncToDisk(fd.get());
    }
}

/// Follows a chain of symbolic links to the file that should receive the data, so that a save
/// updates what a link points to instead of replacing the link with a plain file.
std::optional<std::filesystem::path> resolveLinks(std::filesystem::path path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            return std::nullopt;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;
}

/// A name for a new file beside `target`. Uniqueness comes from O_EXCL at creation; the name
/// only has to make clashes unlikely.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 32) ^
        (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += kAlphabet[mix % kAlphabet.size()];
        mix /= kAlphabet.size();
    }
    std::filesystem::path directory = target.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    return directory / ("." + target.filename().string() + "." + suffix);
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

enum class ReplaceResult { kDone, kFailed, kDirectoryNotWritable };

/// Writes the line into a new file beside `target` and renames it over `target`, so the old
/// content is replaced only by a complete new one. `existing` carries the current file's
/// status, whose owner and permissions the replacement takes over.
ReplaceResult replaceFile(std::string_view text, const std::filesystem::path& target,
                          const std::optional<struct stat>& existing) {
    std::filesystem::path temporary;
    FileDescriptor fd(-1);
    int createError = 0;
    for (int attempt = 0; attempt < kMaxTemporaryNameAttempts && !fd.isOpen(); ++attempt) {
        temporary = temporaryNameBeside(target);
        // 0666 lets the umask decide a new file's permissions, as for any other created file.
        fd.reset(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
        createError = fd.isOpen() ? 0 : errno;
        if (createError != 0 && createError != EEXIST) {
            break;
        }
    }
    if (!fd.isOpen()) {
        return createError == EACCES || createError == EPERM ? ReplaceResult::kDirectoryNotWritable
                                                             : ReplaceResult::kFailed;
    }

    bool written = writeLine(fd.get(), text);
    if (written && existing) {
        // Only root can give the file away; anyone else keeps the file as their own, which is
        // still the right content, so that failure is not a reason to give up.
        [[maybe_unused]] const int owned = ::fchown(fd.get(), existing->st_uid, existing->st_gid);
        // After fchown, which may clear set-id bits.
        written = ::fchmod(fd.get(), existing->st_mode & kPermissionBits) == 0;
    }
    // The new content must be on the disk before the name points at it: otherwise a power cut
    // soon after the rename can leave an empty file where the old one was.
    written = written && syncToDisk(fd.get());
    written = fd.close() && written;
    if (written && ::rename(temporary.c_str(), target.c_str()) == 0) {
        // The rename itself lives in the folder; until that reaches the disk, a power cut may
        // bring back the old file.
        syncFolder(target.parent_path());
        return ReplaceResult::kDone;
    }
    const int renameError = errno;
    ::unlink(temporary.c_str());
    if (written && (renameError == EACCES || renameError == EPERM)) {
        return ReplaceResult::kDirectoryNotWritable;
    }
    return ReplaceResult::kFailed;
}

/// Cuts an existing file to zero length and writes into it. A failure part-way loses the old
/// content, so this is only for files whose directory does not let us put a new file beside.
bool overwriteInPlace(std::string_view text, const std::filesystem::path& target) {
    FileDescriptor fd(
        ::open(target.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.isOpen() || !isRegularFile(fd.get())) {
        return false;
    }
    const bool written = writeLine(fd.get(), text) && syncToDisk(fd.get());
    return fd.close() && written;
}

/// Creates `folder` and any missing folders above it, readable by the user alone as a
/// configuration folder should be, and makes each new entry durable in its parent.
void createFolders(const std::filesystem::path& folder) {
    if (folder.empty() || folder == folder.parent_path()) {
        return;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        return;
    }
    createFolders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) == 0) {
        syncFolder(folder.parent_path());
    }
}

}  // namespace

std::string loadSettings(engine::SynthState& state) {
    return loadSettings(state, settingsPath());
}

std::string loadSettings(engine::SynthState& state, const std::filesystem::path& file) {
    std::optional<std::string> line;
    try {
        line = readFirstLine(file, kMaxDisorderTextBytes);
    } catch (const std::exception&) {
        // Out of memory even for the capped line: the file counts as unreadable.
        line.reset();
    }
    if (!line) {
        state.s.store(engine::kDefaultDisorder, std::memory_order_relaxed);
        return std::string(kDefaultDisorderText);
    }
    engine::setDisorder(state, parseNumber(*line));
    return std::move(*line);
}

bool saveSettings(std::string_view text) {
    const std::filesystem::path file = settingsPath();
    // The user's configuration folder may not exist yet; the program's own folder always does.
    try {
        createFolders(file.parent_path());
    } catch (const std::exception&) {
        return false;
    }
    return saveSettings(text, file);
}

bool saveSettings(std::string_view text, const std::filesystem::path& file) {
    const std::optional<std::filesystem::path> target = resolveLinks(file);
    if (!target) {
        return false;
    }
    std::optional<struct stat> existing;
    struct stat info {};
    if (::lstat(target->c_str(), &info) == 0) {
        // Mode bits rather than a failed open decide "read-only": root opens any file for
        // writing, but a file its owner marked read-only must still stay as it is.
        if (!S_ISREG(info.st_mode) || (info.st_mode & kAnyWriteBits) == 0) {
            return false;
        }
        existing = info;
    } else if (errno != ENOENT) {
        return false;
    }
    // The untouched box holds only the part of a longer line that loading read. Writing it back
    // would cut off the rest of the user's line for nothing: the file already loads as this text.
    if (existing && text.size() == kMaxDisorderTextBytes && firstLineContinues(text, *target)) {
        return true;
    }

    switch (replaceFile(text, *target, existing)) {
        case ReplaceResult::kDone:
            return true;
        case ReplaceResult::kDirectoryNotWritable:
            return existing.has_value() && overwriteInPlace(text, *target);
        case ReplaceResult::kFailed:
            break;
    }
    return false;
}

}  // namespace vireon::settings
