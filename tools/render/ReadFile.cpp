// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/ReadFile.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "offline/EventsFile.h"
#include "offline/MidiFileReader.h"

namespace vireon::tools {
namespace {

using offline::TimedMessage;

// Far more than any hand-written or generated list of messages needs, and small enough to hold.
constexpr std::size_t kMaxEventsFileBytes = std::size_t{1} << 30;

// Real MIDI files are kilobytes; this leaves room for any of them while keeping the reader's
// memory, a few times the file's size, within bounds.
constexpr std::size_t kMaxMidiFileBytes = std::size_t{16} << 20;

std::string systemReason(int error) {
    std::string reason = std::strerror(error);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

bool isDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes,
                                         std::string& contents) {
    // Binary mode: Windows' C runtime would otherwise turn CR LF into LF and stop at the first
    // 0x1A byte. "e" (close on exec) is a glibc extension the Windows runtime does not accept.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int openError = errno;
        // Windows refuses to open a directory at all, where Linux opens it and fails the read.
        return isDirectory(path) ? std::string("it is a directory") : systemReason(openError);
    }
    std::optional<std::string> failure;
    struct stat info {};
    if (::fstat(fileno(file), &info) != 0) {
        failure = systemReason(errno);
    } else if (S_ISDIR(info.st_mode)) {
        failure = "it is a directory";
    } else {
        // Read until end of file rather than trusting st_size, so pipes and /dev/stdin work too.
        contents.clear();
        char buffer[65536];
        for (;;) {
            const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
            if (contents.size() + got > maxBytes) {
                failure = "it is larger than " + std::to_string(maxBytes) + " bytes";
                break;
            }
            contents.append(buffer, got);
            if (got < sizeof buffer) {
                if (std::ferror(file)) {
                    failure = systemReason(errno);
                }
                break;
            }
        }
    }
    std::fclose(file);
    return failure;
}

std::variant<std::vector<TimedMessage>, std::string> readEventsFile(const std::string& path) {
    std::string text;
    if (auto reason = readWholeFile(path, kMaxEventsFileBytes, text)) {
        return "could not read the events file " + path + " (" + *reason +
               "); check the path given to --events.";
    }
    auto parsed = offline::parseEvents(text);
    if (auto* error = std::get_if<offline::EventsFileError>(&parsed)) {
        return path + " line " + std::to_string(error->line) + ": " + error->message + ".";
    }
    return std::get<std::vector<TimedMessage>>(std::move(parsed));
}

std::variant<std::vector<TimedMessage>, std::string> readMidiFile(const std::string& path) {
    std::string file;
    if (auto reason = readWholeFile(path, kMaxMidiFileBytes, file)) {
        return "could not read the MIDI file " + path + " (" + *reason +
               "); check the path given to --midi.";
    }
    return offline::midiFileMessages(file, path);
}

}  // namespace vireon::tools
