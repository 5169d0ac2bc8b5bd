// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/MidiFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "engine/Constants.h"
#include "midi/MidiMessage.h"

namespace vireon::offline {
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

std::variant<std::vector<TimedMessage>, std::string> midiFileMessages(std::string_view file,
                                                                      const std::string& name) {
    auto loaded = midifile::readMidiFileEvents(file);
    if (auto* p = std::get_if<midifile::MidiFileProblem>(&loaded)) {
        return name + " is not a usable Standard MIDI File: " + p->reason + ".";
    }

    std::vector<TimedMessage> messages;
    for (const MidiFileEvent& event : std::get<std::vector<MidiFileEvent>>(loaded)) {
        const std::optional<std::uint32_t> message = feedableMessage(event);
        if (!message) {
            continue;
        }
        const std::optional<std::uint32_t> sample = sampleAtSeconds(event.seconds);
        if (!sample) {
            // Whole seconds say enough here, and leave printf's floating-point formatting out
            // of the web page's module. The reader's times are never negative.
            return name + " has an event at " +
                   std::to_string(static_cast<std::uint64_t>(event.seconds)) +
                   " seconds, beyond the longest time the renderer can address.";
        }
        messages.push_back({*sample, *message});
    }
    // The reader's merge can hand a track's first event over early; the sort puts every
    // message at its sample, and being stable keeps simultaneous ones in the reader's order.
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const TimedMessage& a, const TimedMessage& b) { return a.sample < b.sample; });
    return messages;
}

}  // namespace vireon::offline
