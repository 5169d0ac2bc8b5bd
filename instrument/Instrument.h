// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "controls/Controls.h"
#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"

namespace vireon::instrument {

/// One instance of Vireon, independent of any face: its own synthesis state, envelope settings,
/// note handling and rate conversion, driven by control values and MIDI messages at the output
/// rate. Nothing in it is shared with another instance, and nothing outside it writes its state.
///
/// Events apply at the output frame reached so far: render up to an event's frame, then hand
/// the event over; it takes effect at the engine sample that frame belongs to, whatever the
/// block sizes. Everything is allocated with the object. Functions marked RT never lock,
/// allocate, throw or call the system, so they may run on the audio thread; they belong to the
/// one thread that renders.
class Instrument {
  public:
    /// Whether an instance can play at `outputRate` frames per second (a whole number from
    /// 8000 to 192000 that this build can convert to). Any thread.
    static bool supportsRate(double outputRate);

    /// An instance playing at `outputRate`, which supportsRate must accept (std::invalid_argument
    /// otherwise). Allocates.
    explicit Instrument(double outputRate);

    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    /// RT: returns to the state of a fresh instance: silence, no note held, every control at its
    /// start-up position.
    void reset() noexcept;

    /// RT: takes a control's value as a host sends it, every block: rounded and held to the
    /// control's range. Havoc, Bedlam and Disorder act at once; the envelope controls are read
    /// when the next note starts. A position that has not changed does nothing, so the start-up
    /// Havoc and Bedlam keep their exact start-up values, as in the program until its slider
    /// first moves.
    void setControl(controls::ControlId control, float value) noexcept;

    /// RT: moves a control to `position` (held to its range) as a slider or a command-line
    /// option does: it acts even at the position it already has.
    void moveControl(controls::ControlId control, int position) noexcept;

    /// RT: Disorder as the settings file holds it, which may lie beyond the control's range.
    void setDisorderValue(std::int64_t value) noexcept;

    /// RT: hands one MIDI message (one to three bytes) to the note handling. Longer messages are
    /// system exclusive, which the note handling never sees.
    void handleMidi(std::span<const std::uint8_t> bytes) noexcept;

    /// RT: the same for a message packed as status | data1 << 8 | data2 << 16.
    void handleMessage(std::uint32_t packed) noexcept;

    /// RT: lines the instrument's frames up with the host's timeline, which is at `frame` now,
    /// so that a note at a timeline frame starts on the same engine sample in every run of the
    /// same session, whatever ran before. Takes effect at the next quiet moment the host reports
    /// (see rate::RateRenderer::followTimeline).
    void followTimeline(std::int64_t frame) noexcept { renderer_.followTimeline(frame); }

    /// RT: renders the next `frames` frames at the output rate.
    void render(float* output, std::uint32_t frames) noexcept;

    /// The note status as the program's status bar shows it: empty until the first MIDI message,
    /// then "On" or "Off". Rendering thread.
    std::string_view noteText() const { return voice_->notes.noteText(); }

    /// The first output frame that belongs to engine sample `sample`: where an event meant for
    /// that sample goes. Any thread.
    std::uint64_t frameAt(std::uint64_t sample) const { return renderer_.frameAt(sample); }

    /// How many frames after an event its sound arrives: the converter's delay, 0 at 8000 Hz.
    /// Any thread.
    std::uint32_t latencyFrames() const { return renderer_.latencyFrames(); }

  private:
    struct Voice {
        Voice() : notes(state) {}

        engine::SynthState state;
        engine::AdsrSettings adsr;
        midi::MidiNoteHandler notes;
    };

    void apply(controls::ControlId control, int position) noexcept;

    // Rebuilt in place by reset(), at the same address the renderer refers to; std::optional
    // keeps it inside the instance, unallocated.
    std::optional<Voice> voice_{std::in_place};
    rate::RateRenderer renderer_;
    std::array<int, controls::kControlCount> positions_{};
};

}  // namespace vireon::instrument
