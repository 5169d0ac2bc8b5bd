// SPDX-License-Identifier: GPL-3.0-or-later
#include "midifile/MidiFile.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <queue>
#include <utility>

namespace vireon::midifile {
namespace {

constexpr std::size_t kHeaderBytes = 14;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kHeaderLength = 6;
// The format's limit: 28 bits in four bytes.
constexpr std::size_t kMaxQuantityBytes = 4;
// Tick positions have always been 32-bit signed numbers here; a song that runs further is
// refused rather than wrapped around.
constexpr std::int64_t kMaxTicks = std::numeric_limits<std::int32_t>::max();
// 120 beats per minute until a tempo event says otherwise.
constexpr std::uint32_t kDefaultMicrosecondsPerQuarter = 500000;

constexpr std::uint8_t kSysexStatus = 0xF0;
constexpr std::uint8_t kEscapeStatus = 0xF7;
constexpr std::uint8_t kMetaStatus = 0xFF;
constexpr std::uint8_t kEndOfTrack = 0x2F;
constexpr std::uint8_t kTempo = 0x51;
constexpr std::uint8_t kTimeSignature = 0x58;
constexpr std::uint32_t kTempoBytes = 3;
constexpr std::uint32_t kTimeSignatureBytes = 4;

/// An event as a track holds it: a message, or a meta event's type and data.
struct TrackEvent {
    std::int32_t ticks;
    bool isMeta;
    std::uint8_t metaType;
    /// The message's length, or the meta event's data length.
    std::uint32_t length;
    /// The message's first bytes, or the meta event's first data bytes.
    std::array<std::uint8_t, 3> bytes;

    bool shapesTempoMap() const {
        return isMeta && (metaType == kTempo || metaType == kTimeSignature);
    }
};

using Track = std::vector<TrackEvent>;

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

/// Data bytes after a status byte, or nothing for the undefined ones.
std::optional<std::uint32_t> dataBytesAfter(std::uint8_t status) {
    if (status < 0xF0) {
        // Program change and channel pressure carry one data byte, the others two.
        return (status & 0xE0) == 0xC0 ? 1 : 2;
    }
    switch (status) {
        case 0xF1:  // time code quarter frame
        case 0xF3:  // song select
            return 1;
        case 0xF2:  // song position
            return 2;
        case 0xF6:  // tune request
        case 0xF8:
        case 0xF9:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFE:
            return 0;
        default:  // 0xF4, 0xF5 and 0xFD
            return std::nullopt;
    }
}

/// Reads one track chunk's data, which starts at byte `offset` of the file, up to its
/// end-of-track event; anything after that event is ignored.
std::variant<Track, MidiFileProblem> readTrack(std::string_view data, std::size_t offset,
                                               std::uint32_t number) {
    const std::string name = "track " + std::to_string(number);
    const auto at = [&](std::size_t position) {
        return " at byte " + std::to_string(offset + position);
    };
    const auto truncated = [&] {
        return problem(name +
                       " ends in the middle of an event, so the file is probably truncated or "
                       "damaged");
    };
    Track events;
    std::size_t next = 0;
    std::int64_t ticks = 0;
    std::uint8_t runningStatus = 0;
    std::optional<MidiFileProblem> failure;
    const auto byte = [&] { return static_cast<std::uint8_t>(data[next++]); };
    const auto quantity = [&]() -> std::optional<std::uint32_t> {
        const std::size_t start = next;
        std::uint32_t value = 0;
        for (std::size_t n = 0; n < kMaxQuantityBytes; ++n) {
            if (next == data.size()) {
                failure = truncated();
                return std::nullopt;
            }
            const std::uint8_t b = byte();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0) {
                return value;
            }
        }
        failure =
            problem(name + " has a variable-length number longer than four bytes" + at(start));
        return std::nullopt;
    };
    // Copies the first bytes of `length` bytes of data into `to` and steps over all of them.
    const auto take = [&](std::uint32_t length, std::uint8_t* to, std::size_t room) {
        for (std::size_t i = 0; i < std::min<std::size_t>(length, room); ++i) {
            to[i] = static_cast<std::uint8_t>(data[next + i]);
        }
        next += length;
    };

    for (;;) {
        if (next == data.size()) {
            return problem(name +
                           " does not end with an end-of-track event, so the file is probably "
                           "truncated or damaged");
        }
        const std::optional<std::uint32_t> delta = quantity();
        if (!delta) {
            return *failure;
        }
        ticks += *delta;
        if (ticks > kMaxTicks) {
            return problem(name + " runs past tick " + std::to_string(kMaxTicks));
        }
        if (next == data.size()) {
            return truncated();
        }
        const std::size_t start = next;
        std::uint8_t status = static_cast<std::uint8_t>(data[next]);
        if ((status & 0x80) != 0) {
            ++next;
        } else if (runningStatus == 0 || runningStatus == kSysexStatus ||
                   runningStatus == kEscapeStatus) {
            return problem(name + " has a data byte where an event should start" + at(start));
        } else {
            // Running status carries over from whatever event came last, as this renderer has
            // always read files: after a meta event a data byte starts another meta event of
            // that type, and after a real-time byte it repeats that byte without using it up.
            status = runningStatus;
        }
        runningStatus = status;

        TrackEvent event{static_cast<std::int32_t>(ticks), false, 0, 0, {}};
        if (status == kMetaStatus) {
            if (next == data.size()) {
                return truncated();
            }
            event.isMeta = true;
            event.metaType = byte();
            const std::optional<std::uint32_t> length = quantity();
            if (!length) {
                return *failure;
            }
            if (*length > data.size() - next) {
                return truncated();
            }
            if (event.metaType == kTempo && *length < kTempoBytes) {
                return problem(name + " has a tempo event of " + std::to_string(*length) +
                               " bytes instead of 3" + at(start));
            }
            event.length = *length;
            take(*length, event.bytes.data(), event.bytes.size());
            events.push_back(event);
            if (event.metaType == kEndOfTrack) {
                return events;
            }
            continue;
        }
        if (status == kSysexStatus || status == kEscapeStatus) {
            const std::optional<std::uint32_t> length = quantity();
            if (!length) {
                return *failure;
            }
            if (*length > data.size() - next) {
                return truncated();
            }
            // A system-exclusive message keeps its 0xF0 in front; an escape's bytes go out as
            // they are, a complete message among them included.
            if (status == kSysexStatus) {
                event.length = *length + 1;
                event.bytes[0] = status;
                take(*length, event.bytes.data() + 1, event.bytes.size() - 1);
            } else {
                event.length = *length;
                take(*length, event.bytes.data(), event.bytes.size());
            }
            events.push_back(event);
            continue;
        }
        const std::optional<std::uint32_t> dataBytes = dataBytesAfter(status);
        if (!dataBytes) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            return problem(name + " has the undefined status byte 0x" + kHex[status >> 4] +
                           kHex[status & 0xF] + at(start));
        }
        if (*dataBytes > data.size() - next) {
            return truncated();
        }
        event.length = 1 + *dataBytes;
        event.bytes[0] = status;
        take(*dataBytes, event.bytes.data() + 1, event.bytes.size() - 1);
        events.push_back(event);
    }
}

/// Seconds from ticks through the tempo changes. Each tempo or time-signature event starts a
/// segment timed from its own start; the arithmetic is kept exactly as renderings have always
/// had it (from the MIDI file library used before), since every rounding moves a note's sample.
class TempoMap {
  public:
    explicit TempoMap(std::uint32_t ticksPerQuarter) : ticksPerQuarter_(ticksPerQuarter) {
        segments_.push_back({0, 0.0, kDefaultMicrosecondsPerQuarter});
    }

    double secondsAt(std::int32_t ticks) const {
        if (ticks == 0) {
            return 0.0;
        }
        // The last segment that starts before the tick: one starting at the tick itself gives
        // the same time there.
        const auto after = std::partition_point(
            segments_.begin(), segments_.end(),
            [ticks](const Segment& segment) { return segment.startTicks < ticks; });
        const Segment& segment = *std::prev(after);
        return segment.startSeconds + static_cast<double>(ticks - segment.startTicks) *
                                          (static_cast<double>(segment.microsecondsPerQuarter) /
                                           (static_cast<double>(ticksPerQuarter_) * 1000000.0));
    }

    /// Applies tempo and time-signature events in time order.
    void apply(const TrackEvent& event) {
        if (event.metaType == kTempo) {
            const std::uint32_t tempo = (std::uint32_t{event.bytes[0]} << 16) |
                                        (std::uint32_t{event.bytes[1]} << 8) | event.bytes[2];
            // A tempo of zero would stop time; it is ignored.
            if (tempo > 0) {
                segmentAt(event.ticks).microsecondsPerQuarter = tempo;
            }
        } else if (event.metaType == kTimeSignature && event.length >= kTimeSignatureBytes) {
            segmentAt(event.ticks);
        }
    }

  private:
    struct Segment {
        std::int32_t startTicks;
        double startSeconds;
        std::uint32_t microsecondsPerQuarter;
    };

    Segment& segmentAt(std::int32_t ticks) {
        if (segments_.back().startTicks != ticks) {
            const double seconds = secondsAt(ticks);
            segments_.push_back({ticks, seconds, segments_.back().microsecondsPerQuarter});
        }
        return segments_.back();
    }

    std::uint32_t ticksPerQuarter_;
    std::vector<Segment> segments_;
};

/// The events of all tracks in the order they are played. Tracks are merged by the tick of each
/// one's next event, ties going to the lower track. Simultaneous events are rendered in this
/// order, so it keeps the one renderings have always had (from the MIDI file library used
/// before): unless a tempo or time-signature event lies before the end of an earlier track,
/// each track's first event takes part as if at tick 0.
std::vector<const TrackEvent*> mergeTracks(const std::vector<Track>& tracks) {
    bool retimed = false;
    std::int32_t earlierEnd = 0;
    std::size_t count = 0;
    for (const Track& track : tracks) {
        retimed = retimed || std::any_of(track.begin(), track.end(), [&](const TrackEvent& e) {
                      return e.shapesTempoMap() && e.ticks < earlierEnd;
                  });
        earlierEnd = std::max(earlierEnd, track.back().ticks);
        count += track.size();
    }

    using Next = std::pair<std::int64_t, std::size_t>;  // tick, track
    std::priority_queue<Next, std::vector<Next>, std::greater<>> queue;
    std::vector<std::size_t> positions(tracks.size(), 0);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        queue.push({retimed ? tracks[t].front().ticks : 0, t});
    }
    std::vector<const TrackEvent*> merged;
    merged.reserve(count);
    while (!queue.empty()) {
        const std::size_t t = queue.top().second;
        queue.pop();
        merged.push_back(&tracks[t][positions[t]]);
        if (++positions[t] < tracks[t].size()) {
            queue.push({tracks[t][positions[t]].ticks, t});
        }
    }
    return merged;
}

}  // namespace

std::variant<std::vector<MidiFileEvent>, MidiFileProblem> readMidiFileEvents(
    std::string_view file) {
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

    std::vector<Track> tracks;
    std::size_t offset = kHeaderBytes;
    while (offset < file.size()) {
        const std::size_t remaining = file.size() - offset;
        if (remaining < kChunkHeaderBytes) {
            // A few stray bytes after complete tracks are harmless padding; before them they
            // are what is left of a cut-off chunk.
            if (tracks.size() == declaredTracks) {
                break;
            }
            return problem("it ends in the middle of a chunk header, so it is probably truncated");
        }
        const std::uint32_t length = bigEndian32(file, offset + 4);
        const bool isTrack = file.substr(offset, 4) == "MTrk";
        if (length > remaining - kChunkHeaderBytes) {
            const std::string name = isTrack ? "track " + std::to_string(tracks.size() + 1)
                                             : "the chunk at byte " + std::to_string(offset);
            return problem(name + " claims " + std::to_string(length) + " bytes but only " +
                           std::to_string(remaining - kChunkHeaderBytes) +
                           " remain, so the file is probably truncated");
        }
        if (isTrack) {
            auto track = readTrack(file.substr(offset + kChunkHeaderBytes, length),
                                   offset + kChunkHeaderBytes,
                                   static_cast<std::uint32_t>(tracks.size() + 1));
            if (auto* p = std::get_if<MidiFileProblem>(&track)) {
                return std::move(*p);
            }
            tracks.push_back(std::get<Track>(std::move(track)));
        }
        offset += kChunkHeaderBytes + length;
    }
    if (tracks.size() != declaredTracks) {
        return problem("it declares " + tracksText(declaredTracks) + " but holds " +
                       std::to_string(tracks.size()) +
                       (tracks.size() < declaredTracks ? ", so it is probably truncated" : ""));
    }

    const std::vector<const TrackEvent*> merged = mergeTracks(tracks);
    // The tempo map takes its events in time order, ties in track order, whatever order the
    // merge plays them in.
    std::vector<const TrackEvent*> tempoEvents;
    for (const Track& track : tracks) {
        for (const TrackEvent& event : track) {
            if (event.shapesTempoMap()) {
                tempoEvents.push_back(&event);
            }
        }
    }
    std::stable_sort(tempoEvents.begin(), tempoEvents.end(),
                     [](const TrackEvent* a, const TrackEvent* b) { return a->ticks < b->ticks; });
    TempoMap tempoMap(division);
    for (const TrackEvent* event : tempoEvents) {
        tempoMap.apply(*event);
    }

    std::vector<MidiFileEvent> events;
    for (const TrackEvent* event : merged) {
        if (!event->isMeta) {
            events.push_back({tempoMap.secondsAt(event->ticks), event->length, event->bytes});
        }
    }
    return events;
}

}  // namespace vireon::midifile
