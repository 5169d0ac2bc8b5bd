// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiNoteHandler.h"

#include <limits>

#include "engine/Powers.h"

namespace vireon::midi {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr std::uint32_t kNoteOnChannel1 = 0x90;
constexpr std::uint32_t kNoteOffChannel1 = 0x80;
constexpr std::uint32_t kHighestNote = 127;

double noteFrequency(std::uint32_t note) {
    return engine::semitonePower(note) * 440.0;
}

}  // namespace

void MidiNoteHandler::onMidiMessage(MidiMessageKind kind, std::uint32_t param1,
                                    std::uint32_t /*param2: time stamp, unused*/) {
    switch (kind) {
        case MidiMessageKind::Data:
            handleShortMessage(param1);
            if (statusSink_ != nullptr) {
                statusSink_->reportNoteStatus(noteText());
            }
            break;
        case MidiMessageKind::Close:
            // A closing device takes all its held notes with it; the status is not reported,
            // so the display keeps its last text until the next message.
            state_.noteCount.store(0, kRelaxed);
            closeGate();
            break;
        default:
            break;
    }
}

std::string_view MidiNoteHandler::noteText() const {
    switch (noteText_.load(kRelaxed)) {
        case NoteText::On:
            return "On";
        case NoteText::Off:
            return "Off";
        case NoteText::None:
            break;
    }
    return {};
}

void MidiNoteHandler::handleShortMessage(std::uint32_t message) {
    const std::uint32_t status = message & 0xFF;
    if (status == kNoteOnChannel1) {
        const std::uint32_t note = (message >> 8) & 0xFF;
        const std::uint32_t velocity = (message >> 16) & 0xFF;
        if (velocity == 0) {
            noteOff();
            return;
        }
        // A data byte with its top bit set is not MIDI. Such a note would be pitched in the
        // megahertz, round to zero samples per cycle and fill the output with NaN.
        if (note > kHighestNote) {
            return;
        }
        state_.frequency.store(noteFrequency(note), kRelaxed);
        const std::int32_t held = state_.noteCount.load(kRelaxed);
        if (held == 0) {
            state_.gate.store(1, kRelaxed);
            noteText_.store(NoteText::On, kRelaxed);
        }
        if (held < std::numeric_limits<std::int32_t>::max()) {
            state_.noteCount.store(held + 1, kRelaxed);
        }
    } else if (status == kNoteOffChannel1) {
        noteOff();
    }
}

void MidiNoteHandler::noteOff() {
    std::int32_t held = state_.noteCount.load(kRelaxed);
    if (held != 0) {
        state_.noteCount.store(--held, kRelaxed);
    }
    // Keys are not tracked one by one: a stray note-off with nothing held closes the gate again.
    if (held == 0) {
        closeGate();
    }
}

void MidiNoteHandler::closeGate() {
    state_.gate.store(0, kRelaxed);
    noteText_.store(NoteText::Off, kRelaxed);
    // Clearing both flags makes the next note-on restart the envelope from its fade.
    state_.noteStarted.store(0, kRelaxed);
    state_.phaseReset.store(0, kRelaxed);
    state_.previousFrequency.store(state_.frequency.load(kRelaxed), kRelaxed);
}

}  // namespace vireon::midi
