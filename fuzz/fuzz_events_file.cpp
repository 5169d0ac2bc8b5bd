// SPDX-License-Identifier: GPL-3.0-or-later
// Parses arbitrary text as an events file and checks what a success or a refusal promises.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "offline/EventsFile.h"

namespace {

using vireon::fuzz::require;
using vireon::offline::EventsFileError;
using vireon::offline::TimedMessage;

std::size_t lineCount(std::string_view text) {
    const auto newlines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return newlines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

/// The events written back as an events file, alternating decimal and hex so that both forms
/// are read back.
std::string asText(const std::vector<TimedMessage>& events) {
    std::string text;
    char line[80];
    for (std::size_t i = 0; i < events.size(); ++i) {
        const TimedMessage& e = events[i];
        const char* format = i % 2 == 0 ? "%u %u %u %u # event\n" : "0x%X 0x%x\t0x%X 0x%x\r\n";
        std::snprintf(line, sizeof line, format, e.sample, e.message & 0xFF,
                      (e.message >> 8) & 0xFF, (e.message >> 16) & 0xFF);
        text += line;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = vireon::offline::parseEvents(text);

    if (const auto* error = std::get_if<EventsFileError>(&parsed)) {
        require(error->line >= 1 && error->line <= lineCount(text),
                "a refusal names a line of the text");
        require(!error->message.empty() && error->message.back() != '.',
                "a refusal says why, without the final full stop");
        return 0;
    }

    const auto& events = std::get<std::vector<TimedMessage>>(parsed);
    require(events.size() <= lineCount(text), "at most one event per line");
    for (std::size_t i = 0; i < events.size(); ++i) {
        require(events[i].message >> 24 == 0, "a message is three bytes");
        require(i == 0 || events[i - 1].sample <= events[i].sample,
                "sample numbers never decrease");
    }
    auto reparsed = vireon::offline::parseEvents(asText(events));
    const auto* again = std::get_if<std::vector<TimedMessage>>(&reparsed);
    require(again != nullptr && *again == events, "the events written back read back the same");
    return 0;
}
