// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "settings/Platform.h"

// Every call here is a wide ("W") one: file names are UTF-8 inside Vireon and UTF-16 at the
// system, so a name outside the ANSI code page still reaches the right file. Files are opened
// as raw handles, so no C runtime text mode touches the bytes.

namespace vireon::settings::platform {
namespace {

// Paths beyond this are refused rather than grown for without end.
constexpr DWORD kMaxPathCharacters = 32768;

HANDLE handleOf(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::intptr_t valueOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? std::intptr_t{-1}
                                          : reinterpret_cast<std::intptr_t>(handle);
}

std::wstring wideFromUtf8(std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), wide);
    return result;
}

std::string utf8FromWide(std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), bytes, nullptr, nullptr);
    return result;
}

/// Runs a query that fills a buffer and returns the length it wrote or, when the buffer was too
/// small, the length it needs; grows the buffer until the answer fits. Empty on failure.
template <typename Query>
std::wstring queryGrowing(Query query) {
    std::wstring buffer(MAX_PATH, L'\0');
    while (buffer.size() <= kMaxPathCharacters) {
        const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        // The query asks for more (with the NUL), or filled the buffer to the end.
        buffer.resize(std::max<std::size_t>(length + 1, buffer.size() * 2));
    }
    return {};
}

}  // namespace

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

char separator() {
    return '\\';
}

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(wideFromUtf8(text));
}

std::string programPath() {
    // GetModuleFileNameW cuts the path to the buffer and returns its size instead of the length
    // it needs, so the buffer grows until the answer is shorter than it.
    return utf8FromWide(queryGrowing([](wchar_t* buffer, DWORD size) -> DWORD {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer, size);
        return length == size ? size : length;
    }));
}

std::string temporaryDirectory() {
    const std::wstring given =
        queryGrowing([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); });
    if (given.empty()) {
        return {};
    }
    // The variable TMP may name the folder in its short 8.3 form, and the program's own path
    // is always the long one; a failure here means the folder is unusable, not that the short
    // form would do.
    return utf8FromWide(queryGrowing([&given](wchar_t* buffer, DWORD size) {
        return ::GetLongPathNameW(given.c_str(), buffer, size);
    }));
}

std::string currentDirectory() {
    return utf8FromWide(queryGrowing(
        [](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); }));
}

std::string userSettingsDirectory() {
    // The file stays beside the program on Windows (or in the current directory for a program
    // run from the temporary directory); a portable copy carries its settings with it.
    return {};
}

bool mayCreateFilesIn(const std::string& folder) {
    // Only a real attempt tells: Windows decides by access lists, which no attribute shows, and
    // a folder's read-only attribute does not stop files being created in it. The probe file
    // goes away with its handle.
    std::string name = folder.empty() ? std::string(".") + separator() : folder;
    name += ".vireon-probe-" + std::to_string(processId());
    const HANDLE probe =
        ::CreateFileW(pathFromUtf8(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(probe);
    return true;
}

bool mayWrite(const std::string& file) {
    const DWORD attributes = ::GetFileAttributesW(pathFromUtf8(file).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

PathKind kindOf(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                              : PathKind::kUnknown;
    }
    // A link (reparse point) is left alone too: replacing it would swap the link for a file.
    constexpr DWORD kNotAPlainFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((attributes & (kNotAPlainFile | FILE_ATTRIBUTE_READONLY)) != 0) {
        return PathKind::kLeaveAlone;
    }
    return PathKind::kWritableFile;
}

std::filesystem::path resolveLinks(const std::filesystem::path& path) {
    // Links are rare on Windows and need privileges to make; kindOf leaves them alone.
    return path;
}

void createFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
}

std::uint64_t processId() {
    return ::GetCurrentProcessId();
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
    // Sharing reads and writes lets another program keep the file open while Vireon starts.
    File file(valueOf(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    // A device ("CON", "COM1", a named pipe) opens like a file; only a disk file is read.
    if (file.isOpen() && ::GetFileType(handleOf(file.handle_)) != FILE_TYPE_DISK) {
        return File();
    }
    return file;
}

File File::createNew(const std::filesystem::path& path, Outcome& outcome) {
    File file(valueOf(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)));
    const DWORD error = file.isOpen() ? ERROR_SUCCESS : ::GetLastError();
    outcome = error == ERROR_SUCCESS                                        ? Outcome::kDone
              : error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Outcome::kExists
              : error == ERROR_ACCESS_DENIED                                ? Outcome::kDenied
                                                                            : Outcome::kFailed;
    return file;
}

File File::openForOverwrite(const std::filesystem::path& path) {
    File file(valueOf(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (file.isOpen() && ::GetFileType(handleOf(file.handle_)) != FILE_TYPE_DISK) {
        return File();
    }
    return file;
}

std::ptrdiff_t File::read(char* buffer, std::size_t size) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    DWORD got = 0;
    if (!::ReadFile(handleOf(handle_), buffer, wanted, &got, nullptr)) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

bool File::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
        DWORD written = 0;
        if (!::WriteFile(handleOf(handle_), bytes.data(), wanted, &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool File::takeOverOwnershipOf(const std::filesystem::path& /*existing*/) {
    // ReplaceFileW gives the new file the replaced one's attributes and access list itself.
    return true;
}

bool File::syncToDisk() {
    return ::FlushFileBuffers(handleOf(handle_)) != 0;
}

bool File::close() {
    if (!isOpen()) {
        return true;
    }
    return ::CloseHandle(handleOf(std::exchange(handle_, kClosed))) != 0;
}

Outcome replace(const std::filesystem::path& temporary, const std::filesystem::path& target) {
    // ReplaceFileW keeps what belongs to the file rather than to its content (attributes,
    // access list, creation time); it needs an existing target, so a first save moves the new
    // file into place instead. Both only rename within the folder, so the old content stays
    // whole until the new one takes its name.
    const bool replaced =
        kindOf(target) == PathKind::kMissing
            ? ::MoveFileExW(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
            : ::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    if (replaced) {
        return Outcome::kDone;
    }
    return ::GetLastError() == ERROR_ACCESS_DENIED ? Outcome::kDenied : Outcome::kFailed;
}

void remove(const std::filesystem::path& path) {
    ::DeleteFileW(path.c_str());
}

}  // namespace vireon::settings::platform
