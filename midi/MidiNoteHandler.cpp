// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiNoteHandler.h"

#include <algorithm>
#include <limits>

#include "engine/Pitch.h"
#include "engine/Powers.h"

namespace vireon::midi {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr std::uint32_t kNoteOnChannel1 = 0x90;
constexpr std::uint32_t kNoteOffChannel1 = 0x80;
constexpr std::uint32_t kControlChangeChannel1 = 0xB0;
constexpr std::uint32_t kPitchBendChannel1 = 0xE0;
constexpr std::uint32_t kSustainPedal = 64;
constexpr std::uint32_t kPedalDownFrom = 64;
constexpr int kBendCentre = 8192;
constexpr std::uint32_t kHighestNote = 127;
constexpr std::uint32_t kDataBits = 0x7F;

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
            heldCount_ = 0;
            sustained_.fill(false);
            deferredOffs_ = 0;
            pedalDown_ = false;
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
    const std::uint32_t data1 = (message >> 8) & 0xFF;
    const std::uint32_t data2 = (message >> 16) & 0xFF;
    if (status == kNoteOnChannel1) {
        if (data2 == 0) {
            noteOff(data1);
        } else {
            noteOn(data1, data2);
        }
    } else if (status == kNoteOffChannel1) {
        noteOff(data1);
    } else if (status == kPitchBendChannel1) {
        bend_ = static_cast<int>((data1 & kDataBits) | ((data2 & kDataBits) << 7)) - kBendCentre;
        if (bendRange_ != 0) {
            retarget();
        }
    } else if (status == kControlChangeChannel1 && data1 == kSustainPedal && pedalEnabled_) {
        if (data2 >= kPedalDownFrom) {
            pedalDown_ = true;
        } else if (pedalDown_) {
            liftPedal();
        }
    }
}

void MidiNoteHandler::noteOn(std::uint32_t note, std::uint32_t velocity) {
    // A data byte with its top bit set is not MIDI. Such a note would be pitched in the
    // megahertz, round to zero samples per cycle and fill the output with NaN.
    if (note > kHighestNote) {
        return;
    }
    state_.noteVelocity.store(static_cast<std::int32_t>(std::min(velocity, kDataBits)), kRelaxed);
    const bool legato = state_.gate.load(kRelaxed) != 0;
    sound(note, !glideLegatoOnly_ || legato);

    const bool keysWereHeld = heldCount_ != 0;
    removeHeld(note);
    held_[heldCount_++] = static_cast<std::uint8_t>(note);
    sustained_[note] = false;

    const std::int32_t count = state_.noteCount.load(kRelaxed);
    if (returnToHeld_ ? !keysWereHeld : count == 0) {
        state_.gate.store(1, kRelaxed);
        noteText_.store(NoteText::On, kRelaxed);
    }
    if (count < std::numeric_limits<std::int32_t>::max()) {
        state_.noteCount.store(count + 1, kRelaxed);
    }
}

void MidiNoteHandler::noteOff(std::uint32_t note) {
    if (pedalDown_) {
        if (deferredOffs_ < std::numeric_limits<std::uint32_t>::max()) {
            ++deferredOffs_;
        }
        if (note < kKeys && isHeld(note)) {
            sustained_[note] = true;
        }
        return;
    }
    countRelease();
    keyRelease(note);
}

void MidiNoteHandler::countRelease() {
    std::int32_t count = state_.noteCount.load(kRelaxed);
    if (count != 0) {
        state_.noteCount.store(--count, kRelaxed);
    }
    // Keys are not tracked one by one: a stray note-off with nothing held closes the gate again.
    if (count == 0 && !returnToHeld_) {
        closeGate();
    }
}

void MidiNoteHandler::keyRelease(std::uint32_t note) {
    const bool wasHeld = note < kKeys && isHeld(note);
    if (wasHeld) {
        removeHeld(note);
    }
    if (!returnToHeld_) {
        return;
    }
    if (heldCount_ == 0) {
        closeGate();
    } else if (wasHeld && note == soundingNote_) {
        // Legato back to the latest key still held: the envelope goes on.
        sound(held_[heldCount_ - 1], true);
    }
}

void MidiNoteHandler::liftPedal() {
    pedalDown_ = false;
    // The held-back note-offs count down all at once: a flood of them while the pedal was down
    // must not become as many steps on the rendering thread.
    if (deferredOffs_ != 0) {
        const auto count = static_cast<std::uint32_t>(state_.noteCount.load(kRelaxed));
        const std::uint32_t left = count > deferredOffs_ ? count - deferredOffs_ : 0;
        deferredOffs_ = 0;
        state_.noteCount.store(static_cast<std::int32_t>(left), kRelaxed);
        if (left == 0 && !returnToHeld_) {
            closeGate();
        }
    }
    bool released = false;
    for (std::uint32_t note = 0; note < kKeys; ++note) {
        if (sustained_[note]) {
            sustained_[note] = false;
            removeHeld(note);
            released = true;
        }
    }
    if (!returnToHeld_ || !released) {
        return;
    }
    if (heldCount_ == 0) {
        closeGate();
    } else if (!isHeld(soundingNote_)) {
        sound(held_[heldCount_ - 1], true);
    }
}

void MidiNoteHandler::sound(std::uint32_t note, bool glides) {
    const double target = targetFrequency(note);
    state_.targetFrequency.store(target, kRelaxed);
    // The glide starts where the pitch is now, mid-glide included, in semitones from the target.
    const double start = sounded_
                             ? state_.glideOffset.load(kRelaxed) +
                                   (static_cast<double>(soundingNote_) - static_cast<double>(note))
                             : 0.0;
    soundingNote_ = note;
    sounded_ = true;
    if (glides && glideSamples_ > 0 && start != 0.0) {
        state_.glideStart.store(start, kRelaxed);
        state_.glideOffset.store(start, kRelaxed);
        state_.glideLength.store(glideSamples_, kRelaxed);
        state_.glideRemaining.store(glideSamples_, kRelaxed);
        state_.frequency.store(target * engine::semitoneRatio(start), kRelaxed);
        return;
    }
    state_.glideRemaining.store(0, kRelaxed);
    state_.glideOffset.store(0.0, kRelaxed);
    state_.frequency.store(target, kRelaxed);
}

void MidiNoteHandler::retarget() {
    if (!sounded_) {
        return;
    }
    const double target = targetFrequency(soundingNote_);
    state_.targetFrequency.store(target, kRelaxed);
    // A glide under way carries on towards the new target; otherwise the pitch moves at once.
    if (state_.glideRemaining.load(kRelaxed) == 0) {
        state_.frequency.store(target, kRelaxed);
    }
}

double MidiNoteHandler::targetFrequency(std::uint32_t note) const {
    const double frequency = noteFrequency(note);
    if (bendRange_ == 0 || bend_ == 0) {
        return frequency;
    }
    return frequency * engine::semitoneRatio(bendRange_ * static_cast<double>(bend_) / kBendCentre);
}

bool MidiNoteHandler::isHeld(std::uint32_t note) const {
    const auto end = held_.begin() + static_cast<std::ptrdiff_t>(heldCount_);
    return std::find(held_.begin(), end, note) != end;
}

void MidiNoteHandler::removeHeld(std::uint32_t note) {
    const auto end = held_.begin() + static_cast<std::ptrdiff_t>(heldCount_);
    heldCount_ = static_cast<std::size_t>(std::remove(held_.begin(), end, note) - held_.begin());
}

void MidiNoteHandler::setBendRange(int semitones) {
    if (semitones == bendRange_) {
        return;
    }
    bendRange_ = semitones;
    if (bend_ != 0) {
        retarget();
    }
}

void MidiNoteHandler::setGlide(int milliseconds, bool legatoOnly) {
    glideSamples_ = std::max(milliseconds, 0) * engine::kSamplesPerMillisecond;
    glideLegatoOnly_ = legatoOnly;
}

void MidiNoteHandler::setPedalEnabled(bool enabled) {
    pedalEnabled_ = enabled;
    if (!enabled && pedalDown_) {
        liftPedal();
    }
}

void MidiNoteHandler::setReturnToHeld(bool returnToHeld) {
    returnToHeld_ = returnToHeld;
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
