// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ComputerKeyboard.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "midi/MidiMessage.h"

namespace vireon::midi {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr int kOctave = 12;

// Two octaves on two rows, laid out like piano keys: the lower row's letters are the white
// keys, the row above them the black ones.
constexpr std::string_view kNoteKeys = "ZSXDCVGBHNJMQ2W3ER5T6Y7U";

int semitoneOf(int key) {
    const std::size_t found =
        key > 0 && key < 128 ? kNoteKeys.find(static_cast<char>(key)) : std::string_view::npos;
    return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

}  // namespace

bool ComputerKeyboard::press(int key, bool repeat) {
    if (key == '-' || key == '+' || key == '=') {
        if (!repeat) {
            baseNote_ = std::clamp(baseNote_ + (key == '-' ? -kOctave : kOctave), kLowestBase,
                                   kHighestBase);
        }
        return true;
    }
    const int semitone = semitoneOf(key);
    if (semitone < 0) {
        return false;
    }
    // A held key repeats; it still plays once. Some systems do not mark the repeats.
    if (repeat || heldKeys_.contains(key)) {
        return true;
    }
    const int note = baseNote_ + semitone;
    heldKeys_.emplace(key, note);
    send_(packShortMessage(kNoteOn, static_cast<std::uint8_t>(note), kVelocity));
    return true;
}

bool ComputerKeyboard::release(int key) {
    const auto held = heldKeys_.find(key);
    if (held == heldKeys_.end()) {
        return false;
    }
    const int note = held->second;
    heldKeys_.erase(held);
    send_(packShortMessage(kNoteOff, static_cast<std::uint8_t>(note), 0));
    return true;
}

void ComputerKeyboard::releaseAll() {
    const std::map<int, int> held = std::exchange(heldKeys_, {});
    for (const auto& [key, note] : held) {
        send_(packShortMessage(kNoteOff, static_cast<std::uint8_t>(note), 0));
    }
}

std::set<int> ComputerKeyboard::heldNotes() const {
    std::set<int> notes;
    for (const auto& [key, note] : heldKeys_) {
        notes.insert(note);
    }
    return notes;
}

std::string ComputerKeyboard::hint() const {
    return "Keys Z to M from " + noteName(baseNote_) + ", Q to U from " +
           noteName(baseNote_ + kOctave) + ".   Octave: - and +";
}

std::string noteName(int note) {
    static constexpr std::array<const char*, kOctave> kNames{"C",  "C#", "D",  "D#", "E",  "F",
                                                             "F#", "G",  "G#", "A",  "A#", "B"};
    return kNames[static_cast<std::size_t>(note % kOctave)] + std::to_string(note / kOctave - 1);
}

}  // namespace vireon::midi
