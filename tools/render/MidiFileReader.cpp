// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/MidiFileReader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// glib first: smf.h includes it inside extern "C", where its C++ parts do not compile.
#include <glib.h>
#include <smf.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "engine/Constants.h"
#include "midi/MidiMessage.h"
#include "settings/WriteAll.h"
#include "tools/render/ReadFile.h"

namespace vireon::tools {
namespace {

// Real MIDI files are kilobytes; this leaves room for any of them while keeping the library's
// int-sized buffer lengths far from overflow.
constexpr std::size_t kMaxMidiFileBytes = std::size_t{16} << 20;

constexpr std::size_t kHeaderBytes = 14;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kHeaderLength = 6;
// Spelled with its length: the event ends in a zero byte.
constexpr std::string_view kEndOfTrack("\xFF\x2F\x00", 3);

// How long the child process may take for a file the size limit allows; far above the worst
// measured case, and it keeps a library fault that loops from hanging the renderer.
constexpr auto kLoadTimeout = std::chrono::seconds(60);

// Exit codes of the child process that runs the MIDI file library.
constexpr int kChildRead = 0;
constexpr int kChildRefused = 3;
constexpr int kChildLostParent = 4;

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

std::uint32_t bigEndian16(std::string_view bytes, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 8) |
           static_cast<unsigned char>(bytes[at + 1]);
}

std::string tracksText(std::uint32_t count) {
    return std::to_string(count) + (count == 1 ? " track" : " tracks");
}

MidiFileProblem problem(std::string reason) {
    return MidiFileProblem{std::move(reason)};
}

void ignoreLibraryLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

/// Runs in the child process: loads the file with the library and streams its non-meta events
/// to `fd` as raw MidiFileEvent records. Never returns.
[[noreturn]] void loadInChild(std::string_view file, int fd) {
    // The library reports problems on stderr and aborts with an assertion message there; the
    // parent reports the outcome in its own words instead.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDERR_FILENO);
    }
    g_log_set_default_handler(ignoreLibraryLog, nullptr);

    smf_t* smf = smf_load_from_memory(file.data(), static_cast<int>(file.size()));
    if (smf == nullptr) {
        ::_exit(kChildRefused);
    }
    std::size_t loadedEvents = 0;
    for (int number = 1; number <= smf->number_of_tracks; ++number) {
        loadedEvents +=
            static_cast<std::size_t>(smf_get_track_by_number(smf, number)->number_of_events);
    }
    std::vector<smf_event_t*> events;
    events.reserve(loadedEvents);
    while (smf_event_t* event = smf_get_next_event(smf)) {
        events.push_back(event);
    }
    // A tempo event loaded after events it precedes (one in any but the first track) makes the
    // library recompute every event's time by playing the song through, and loading leaves the
    // play position where that stopped: past some or all events. Start again from the top
    // only then, so files read whole already keep their order of simultaneous events.
    if (events.size() < loadedEvents) {
        smf_rewind(smf);
        events.clear();
        while (smf_event_t* event = smf_get_next_event(smf)) {
            events.push_back(event);
        }
    }
    for (const smf_event_t* event : events) {
        if (smf_event_is_metadata(event)) {
            continue;
        }
        MidiFileEvent record{};
        record.seconds = event->time_seconds;
        record.length = static_cast<std::uint32_t>(std::max(event->midi_buffer_length, 0));
        std::copy_n(event->midi_buffer, std::min<std::size_t>(record.length, record.bytes.size()),
                    record.bytes.begin());
        if (!settings::writeAll(
                fd, std::string_view(reinterpret_cast<const char*>(&record), sizeof record))) {
            ::_exit(kChildLostParent);
        }
    }
    ::_exit(kChildRead);
}

}  // namespace

std::variant<std::string, MidiFileProblem> keepHeaderAndTracks(std::string_view file) {
    if (file.size() < kHeaderBytes || file.substr(0, 4) != "MThd") {
        return problem("it does not start with the \"MThd\" header of a MIDI file");
    }
    if (bigEndian32(file, 4) != kHeaderLength) {
        return problem("its header chunk is " + std::to_string(bigEndian32(file, 4)) +
                       " bytes long instead of 6");
    }
    const std::uint32_t format = bigEndian16(file, 8);
    const std::uint32_t declaredTracks = bigEndian16(file, 10);
    const std::uint32_t division = bigEndian16(file, 12);
    if (format == 2) {
        return problem(
            "it is a format 2 file (independent sequences), which has no single "
            "timeline to render; save it as format 0 or 1");
    }
    if (format > 2) {
        return problem("it declares the unknown format " + std::to_string(format));
    }
    if (declaredTracks == 0) {
        return problem("it declares no tracks");
    }
    if ((division & 0x8000) != 0) {
        return problem(
            "it counts time in SMPTE frames, which is not supported; save it with "
            "ticks per quarter note");
    }
    if (division == 0) {
        return problem("its time division is 0 ticks per quarter note");
    }

    std::string kept(file.substr(0, kHeaderBytes));
    std::uint32_t tracks = 0;
    std::size_t offset = kHeaderBytes;
    while (offset < file.size()) {
        const std::size_t remaining = file.size() - offset;
        if (remaining < kChunkHeaderBytes) {
            // A few stray bytes after complete tracks are harmless padding; before them they
            // are what is left of a cut-off chunk.
            if (tracks == declaredTracks) {
                break;
            }
            return problem("it ends in the middle of a chunk header, so it is probably truncated");
        }
        const std::string_view id = file.substr(offset, 4);
        const std::uint32_t length = bigEndian32(file, offset + 4);
        const bool isTrack = id == "MTrk";
        const std::string name = isTrack ? "track " + std::to_string(tracks + 1)
                                         : "the chunk at byte " + std::to_string(offset);
        if (length > remaining - kChunkHeaderBytes) {
            return problem(name + " claims " + std::to_string(length) + " bytes but only " +
                           std::to_string(remaining - kChunkHeaderBytes) +
                           " remain, so the file is probably truncated");
        }
        const std::string_view chunk = file.substr(offset, kChunkHeaderBytes + length);
        if (isTrack) {
            ++tracks;
            if (!chunk.ends_with(kEndOfTrack)) {
                return problem(name +
                               " does not end with an end-of-track event, so the file is "
                               "probably truncated or damaged");
            }
            kept += chunk;
        }
        offset += chunk.size();
    }
    if (tracks != declaredTracks) {
        return problem("it declares " + tracksText(declaredTracks) + " but holds " +
                       std::to_string(tracks) +
                       (tracks < declaredTracks ? ", so it is probably truncated" : ""));
    }
    return kept;
}

std::variant<std::vector<MidiFileEvent>, MidiFileProblem> loadMidiEvents(std::string_view file) {
    static_assert(std::is_trivially_copyable_v<MidiFileEvent>,
                  "events cross the pipe from the child process as raw bytes");
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return problem(std::string("no pipe could be made to read it (") + std::strerror(errno) +
                       ")");
    }
    // Nothing may be left in stdio buffers for the child to write out a second time.
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return problem(std::string("no process could be started to read it (") +
                       std::strerror(error) + ")");
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        loadInChild(file, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);

    std::string received;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + kLoadTimeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd waitFor{pipeEnds[0], POLLIN, 0};
        const int ready = ::poll(&waitFor, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            timedOut = true;
            break;
        }
        char buffer[65536];
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    if (timedOut) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (timedOut) {
        return problem("the MIDI file library did not finish reading it");
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kChildRefused) {
        return problem("the MIDI file library refused it");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != kChildRead ||
        received.size() % sizeof(MidiFileEvent) != 0) {
        return problem(
            "the MIDI file library failed on its track data, which is damaged or uses "
            "a form the library cannot read (such as 0xF7 escape events)");
    }
    std::vector<MidiFileEvent> events(received.size() / sizeof(MidiFileEvent));
    if (!events.empty()) {
        std::memcpy(events.data(), received.data(), received.size());
    }
    return events;
}

std::optional<std::uint32_t> feedableMessage(const MidiFileEvent& event) {
    if (event.length == 0) {
        return std::nullopt;
    }
    const std::uint8_t status = event.bytes[0];
    if (status >= 0x80 && status <= 0xEF) {
        // Program change and channel pressure carry one data byte, the others two.
        const std::uint32_t expected = (status & 0xE0) == 0xC0 ? 2 : 3;
        if (event.length != expected) {
            return std::nullopt;
        }
        return midi::packShortMessage(status, event.bytes[1], expected == 3 ? event.bytes[2] : 0);
    }
    // 0xFF is a meta event inside a file, never a real-time reset.
    if (status >= 0xF8 && status != 0xFF && event.length == 1) {
        return midi::packShortMessage(status, 0, 0);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> sampleAtSeconds(double seconds) {
    if (!(seconds >= 0.0)) {
        return std::nullopt;
    }
    // nearbyint rounds in the default mode: to nearest, ties to even.
    const double sample = std::nearbyint(seconds * engine::kSampleRate);
    if (!(sample <= static_cast<double>(std::numeric_limits<std::uint32_t>::max()))) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(sample);
}

std::variant<std::vector<TimedMessage>, std::string> readMidiFile(const std::string& path) {
    std::string file;
    if (auto reason = readWholeFile(path, kMaxMidiFileBytes, file)) {
        return "could not read the MIDI file " + path + " (" + *reason +
               "); check the path given to --midi.";
    }
    const auto unusable = [&](const MidiFileProblem& p) {
        return path + " is not a usable Standard MIDI File: " + p.reason + ".";
    };
    auto checked = keepHeaderAndTracks(file);
    if (auto* p = std::get_if<MidiFileProblem>(&checked)) {
        return unusable(*p);
    }
    auto loaded = loadMidiEvents(std::get<std::string>(checked));
    if (auto* p = std::get_if<MidiFileProblem>(&loaded)) {
        return unusable(*p);
    }

    std::vector<TimedMessage> messages;
    for (const MidiFileEvent& event : std::get<std::vector<MidiFileEvent>>(loaded)) {
        const std::optional<std::uint32_t> message = feedableMessage(event);
        if (!message) {
            continue;
        }
        const std::optional<std::uint32_t> sample = sampleAtSeconds(event.seconds);
        if (!sample) {
            return path + " has an event at " + std::to_string(event.seconds) +
                   " seconds, beyond the longest time the renderer can address.";
        }
        messages.push_back({*sample, *message});
    }
    // Tracks arrive merged in time order already; the sort only guards the renderer's
    // precondition and keeps simultaneous messages in the library's order.
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const TimedMessage& a, const TimedMessage& b) { return a.sample < b.sample; });
    return messages;
}

}  // namespace vireon::tools
