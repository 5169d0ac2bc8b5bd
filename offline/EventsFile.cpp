// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/EventsFile.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "midi/MidiMessage.h"
#include "offline/NumberText.h"

namespace vireon::offline {
namespace {

constexpr std::string_view kWhitespace = " \t\r\v\f";

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = line.find_first_not_of(kWhitespace);
    while (start != std::string_view::npos) {
        const std::size_t end = line.find_first_of(kWhitespace, start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        start = line.find_first_not_of(kWhitespace, end);
    }
    return fields;
}

/// The field's value if it is a number no greater than `max`; otherwise the reason it is not.
std::variant<std::uint64_t, std::string> fieldValue(std::string_view field, std::string_view name,
                                                    std::uint64_t max) {
    const std::optional<std::uint64_t> value = parseWholeNumber(field);
    if (!value) {
        return "the " + std::string(name) + " " + quoteForMessage(field) +
               " is not a number; write it in decimal or as 0x hex";
    }
    if (*value > max) {
        return "the " + std::string(name) + " " + std::string(field) +
               " is out of range; it must be 0 to " + std::to_string(max);
    }
    return *value;
}

}  // namespace

std::variant<std::vector<TimedMessage>, EventsFileError> parseEvents(std::string_view text) {
    static constexpr std::string_view kNames[] = {"sample number", "status byte", "first data byte",
                                                  "second data byte"};
    static constexpr std::uint64_t kLimits[] = {std::numeric_limits<std::uint32_t>::max(), 0xFF,
                                                0xFF, 0xFF};
    std::vector<TimedMessage> events;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        line = line.substr(0, line.find('#'));

        const std::vector<std::string_view> fields = splitFields(line);
        if (fields.empty()) {
            continue;
        }
        if (fields.size() != 4) {
            return EventsFileError{lineNumber,
                                   "expected 4 numbers (<sample> <status> <data1> "
                                   "<data2>) but found " +
                                       std::to_string(fields.size()) + " fields"};
        }
        std::uint64_t values[4];
        for (std::size_t i = 0; i < 4; ++i) {
            auto value = fieldValue(fields[i], kNames[i], kLimits[i]);
            if (auto* reason = std::get_if<std::string>(&value)) {
                return EventsFileError{lineNumber, std::move(*reason)};
            }
            values[i] = std::get<std::uint64_t>(value);
        }
        const auto sample = static_cast<std::uint32_t>(values[0]);
        if (!events.empty() && sample < events.back().sample) {
            return EventsFileError{lineNumber, "sample numbers must not decrease (" +
                                                   std::to_string(sample) + " after " +
                                                   std::to_string(events.back().sample) +
                                                   "); sort the lines by sample number"};
        }
        events.push_back({sample, midi::packShortMessage(static_cast<std::uint8_t>(values[1]),
                                                         static_cast<std::uint8_t>(values[2]),
                                                         static_cast<std::uint8_t>(values[3]))});
    }
    return events;
}

}  // namespace vireon::offline
