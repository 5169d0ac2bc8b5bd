// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/audio/QuietAudioLibraries.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

#include "devices/servers/QuietSoundLibraries.h"
#include "settings/WriteAll.h"

namespace vireon::audio {
namespace {

// PortAudio reports each failed internal check as one line:
// "Expression '<check>' failed in '<source file>', line: <n>".
constexpr std::string_view kPortAudioLineStart = "Expression '";
constexpr std::string_view kPortAudioLineMiddle = "' failed in '";

// More of PortAudio's lines than this within one window is a thread looping on an error.
constexpr int kFloodLines = 16;
constexpr std::chrono::milliseconds kFloodWindow{100};
// How long a flooding thread waits after each line: it then costs next to nothing.
constexpr std::chrono::milliseconds kFloodPause{10};

// The text of the line being written, until its end comes. Only touched by the stream's writer,
// which the stream's lock serialises.
struct PendingLine {
    std::array<char, 1024> text{};
    std::size_t size = 0;
};
PendingLine pending;
std::chrono::steady_clock::time_point floodWindowStart;
int floodLines = 0;

void writeToStandardError(const char* data, std::size_t size) {
    // Nowhere to report a failure; the text is lost as it would be anyway.
    static_cast<void>(settings::writeAll(STDERR_FILENO, std::string_view(data, size)));
}

bool isPortAudioLine(std::string_view line) {
    return line.starts_with(kPortAudioLineStart) &&
           line.find(kPortAudioLineMiddle) != std::string_view::npos;
}

// Could `start` still become one of PortAudio's lines?
bool mayBecomePortAudioLine(std::string_view start) {
    return kPortAudioLineStart.starts_with(start.substr(0, kPortAudioLineStart.size()));
}

void dropPortAudioLine() {
    // PortAudio's stream thread turns cancellation off except while it waits for the device,
    // and its abort ends the thread by cancelling it. Here, on that thread, cancellation is let
    // through for a moment: an aborted thread ends, any other thread goes on unchanged.
    int previousState = PTHREAD_CANCEL_DISABLE;
    ::pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &previousState);
    ::pthread_testcancel();
    ::pthread_setcancelstate(previousState, nullptr);

    const auto now = std::chrono::steady_clock::now();
    if (now - floodWindowStart > kFloodWindow) {
        floodWindowStart = now;
        floodLines = 0;
    }
    if (++floodLines > kFloodLines) {
        std::this_thread::sleep_for(kFloodPause);
    }
}

void passOrDrop(std::string_view line) {
    if (isPortAudioLine(line)) {
        dropPortAudioLine();
    } else {
        writeToStandardError(line.data(), line.size());
    }
}

// The standard error stream's writer: whole lines of PortAudio are dropped, everything else is
// written through at once. Not noexcept: a cancelled thread unwinds through it.
ssize_t filterStandardError(void* /*cookie*/, const char* data, std::size_t size) {
    std::string_view rest(data, size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view piece =
            rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
        rest.remove_prefix(piece.size());
        const bool complete = piece.back() == '\n';
        if (pending.size + piece.size() <= pending.text.size()) {
            std::memcpy(pending.text.data() + pending.size, piece.data(), piece.size());
            pending.size += piece.size();
            const std::string_view line(pending.text.data(), pending.size);
            if (complete || !mayBecomePortAudioLine(line)) {
                pending.size = 0;
                passOrDrop(line);
            }
        } else {
            // Too long to be one of PortAudio's lines.
            writeToStandardError(pending.text.data(), pending.size);
            pending.size = 0;
            writeToStandardError(piece.data(), piece.size());
        }
    }
    return static_cast<ssize_t>(size);
}

void filterStandardErrorOnce() {
    static bool installed = false;
    if (installed) {
        return;
    }
    cookie_io_functions_t functions{};
    functions.write = filterStandardError;
    FILE* filtered = ::fopencookie(nullptr, "w", functions);
    if (filtered == nullptr) {
        return;
    }
    // Line-buffered, so each line reaches the filter whole and nothing waits long.
    ::setvbuf(filtered, nullptr, _IOLBF, BUFSIZ);
    installed = true;
    std::fflush(stderr);
    stderr = filtered;
}

}  // namespace

void silenceAudioLibraryMessages() {
    servers::silenceSoundLibraryMessages();
    filterStandardErrorOnce();
}

}  // namespace vireon::audio
