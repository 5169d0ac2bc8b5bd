// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vireon::settings::platform {

// The operating system's side of the settings file: where the program runs from, and plain
// byte-for-byte access to small files. Each system has one implementation (PlatformPosix.cpp,
// PlatformWindows.cpp); the rules built on these calls live in SettingsDirectory.cpp and
// SettingsFile.cpp. Text paths are UTF-8; std::filesystem::path values come from
// pathFromUtf8 or from the caller. Nothing here throws. UI thread.

/// Whether `c` separates path components: '/' everywhere, '\' on Windows too.
bool isSeparator(char c);

/// The separator this system's own paths use.
char separator();

/// `text` as a path, read as UTF-8 (Windows' narrow calls would read it in the ANSI code page).
std::filesystem::path pathFromUtf8(std::string_view text);

/// The full path of the running executable, or empty when the system cannot say.
std::string programPath();

/// The temporary directory in its long, fully resolved form, ending in a separator; empty when
/// it cannot be determined.
std::string temporaryDirectory();

/// The current directory, or empty when it cannot be determined.
std::string currentDirectory();

/// The folder for this user's own settings when the program's folder cannot hold them, or empty
/// where the system has none to offer.
std::string userSettingsDirectory();

/// Whether this process may create, rename and remove files in `folder` (empty: the current
/// directory).
bool mayCreateFilesIn(const std::string& folder);

/// Whether this process may write the existing file `file`.
bool mayWrite(const std::string& file);

/// What a save finds at its target path.
enum class PathKind {
    kMissing,
    /// A regular file not marked read-only.
    kWritableFile,
    /// A read-only file, a folder, a device or anything else a save must leave alone.
    kLeaveAlone,
    /// The system could not tell.
    kUnknown,
};

/// What is at `path` itself (a link is not followed).
PathKind kindOf(const std::filesystem::path& path);

/// The file a link at `path` leads to, following a whole chain of links, so that a save
/// updates what a link points to; `path` itself when it is no link. Empty on a loop or a
/// broken chain.
std::filesystem::path resolveLinks(const std::filesystem::path& path);

/// Creates `folder` and the missing folders above it, private to the user where the system
/// has permissions. Failures show up when the file is created.
void createFolders(const std::filesystem::path& folder);

/// A number that differs between processes running at the same time.
std::uint64_t processId();

/// How creating or replacing a file went.
enum class Outcome { kDone, kExists, kDenied, kFailed };

/// One open file, closed by the destructor if not before.
class File {
  public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    /// Opens an existing regular file for reading, or gives a closed File. Never opens a
    /// device, and never waits for a named pipe's writer.
    static File openForReading(const std::filesystem::path& path);

    /// Creates a new file for writing, failing with kExists when the name is taken.
    static File createNew(const std::filesystem::path& path, Outcome& outcome);

    /// Opens an existing regular file for writing and cuts it to zero length.
    static File openForOverwrite(const std::filesystem::path& path);

    bool isOpen() const { return handle_ != kClosed; }

    /// Reads up to `size` bytes: the count read, 0 at the end, -1 on failure.
    std::ptrdiff_t read(char* buffer, std::size_t size);

    /// Writes all of `bytes`, exactly as given.
    bool writeAll(std::string_view bytes);

    /// Gives this new file the owner and permissions of `existing`, the file it will replace,
    /// where replace() does not carry them over itself.
    bool takeOverOwnershipOf(const std::filesystem::path& existing);

    /// Puts the written data on the disk.
    bool syncToDisk();

    /// Closes now; false when the close failed, which can mean written data was lost.
    bool close();

  private:
    static constexpr std::intptr_t kClosed = -1;
    explicit File(std::intptr_t handle) : handle_(handle) {}

    /// A file descriptor or a Windows handle.
    std::intptr_t handle_ = kClosed;
};

/// Puts the complete file `temporary` in the place of `target` in one step, so that a reader
/// finds either the old or the new content, and makes the change durable. kDenied when the
/// folder does not allow it.
Outcome replace(const std::filesystem::path& temporary, const std::filesystem::path& target);

/// Removes the file `path`, if it can.
void remove(const std::filesystem::path& path);

}  // namespace vireon::settings::platform
