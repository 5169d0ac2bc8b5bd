// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary bytes as a Standard MIDI File: straight from memory with the reader, and from a
// file through the renderer's MIDI file face.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/PrivateFolder.h"
#include "midifile/MidiFile.h"
#include "tools/render/ReadFile.h"

namespace {

using vireon::fuzz::require;
using vireon::offline::TimedMessage;

void checkEvents(std::string_view input) {
    auto read = vireon::midifile::readMidiFileEvents(input);
    if (const auto* p = std::get_if<vireon::midifile::MidiFileProblem>(&read)) {
        require(!p->reason.empty(), "a refused file says why");
        return;
    }
    for (const auto& event : std::get<std::vector<vireon::midifile::MidiFileEvent>>(read)) {
        require(std::isfinite(event.seconds) && event.seconds >= 0.0,
                "an event's time is a finite number of seconds from the start");
        require(event.length <= input.size(), "an event is no longer than the file");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkEvents(input);

    static const vireon::fuzz::PrivateFolder folder;
    const std::filesystem::path file = folder.path() / "input.mid";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input;
    auto result = vireon::tools::readMidiFile(file.string());
    if (const auto* error = std::get_if<std::string>(&result)) {
        require(error->find(file.string()) != std::string::npos && error->back() == '.',
                "a refusal is a sentence that names the file");
        return 0;
    }
    const auto& messages = std::get<std::vector<TimedMessage>>(result);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        require(messages[i].message >> 24 == 0 && (messages[i].message & 0x80) != 0,
                "a message is at most three bytes and starts with a status byte");
        require(i == 0 || messages[i - 1].sample <= messages[i].sample,
                "sample numbers never decrease");
    }
    return 0;
}
