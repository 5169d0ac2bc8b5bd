// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "plugin/lv2/Controls.h"
#include "rate/RateRenderer.h"

namespace vireon::plugin {

/// One instance of the instrument, independent of any plugin format: its own synthesis state,
/// envelope settings, note handling and rate conversion, driven by control values and MIDI bytes
/// as a host sends them, at the host's rate. Nothing in it is shared with another instance.
///
/// Controls and MIDI apply at the output frame reached so far: render up to an event's frame,
/// then hand the event over. Everything is allocated with the object; no member function but
/// the constructor allocates, locks or calls the system, so all others may run on the audio
/// thread.
class Instrument {
  public:
    /// Whether an instance can play at `outputRate` frames per second (a whole number from
    /// 8000 to 192000). Any thread.
    static bool supportsRate(double outputRate);

    /// An instance playing at `outputRate`, which supportsRate must accept (std::invalid_argument
    /// otherwise). Allocates.
    explicit Instrument(double outputRate);

    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    /// Returns to the state of a fresh instance: silence, no note held, every control at its
    /// start-up position. Audio thread (or whichever thread owns the instance).
    void reset();

    /// Takes a control's current value from the host. Havoc, Bedlam and Disorder act at once;
    /// the envelope controls are read when the next note starts. A position that has not changed
    /// does nothing, so the start-up Havoc and Bedlam keep their exact start-up values, as in
    /// the program until its slider first moves. Audio thread.
    void setControl(Control control, float value);

    /// Hands one MIDI message (one to three bytes) to the note handling. Longer messages are
    /// system exclusive, which the note handling never sees. Audio thread.
    void handleMidi(std::span<const std::uint8_t> bytes);

    /// Lines the instrument's frames up with the host's timeline, which is at `frame` now, so
    /// that a note at a timeline frame starts on the same engine sample in every run of the same
    /// session, whatever ran before. Takes effect at the next quiet moment the host reports
    /// (see rate::RateRenderer::followTimeline). Audio thread.
    void followTimeline(std::int64_t frame) noexcept { renderer_.followTimeline(frame); }

    /// Renders the next `frames` frames at the output rate. Audio thread.
    void render(float* output, std::uint32_t frames);

    /// How many frames after an event its sound arrives: the converter's delay, 0 at 8000 Hz.
    std::uint32_t latencyFrames() const { return renderer_.latencyFrames(); }

  private:
    struct Voice {
        Voice() : notes(state) {}

        engine::SynthState state;
        engine::AdsrSettings adsr;
        midi::MidiNoteHandler notes;
    };

    // Rebuilt in place by reset(), at the same address the renderer refers to; std::optional
    // keeps it inside the instance, unallocated.
    std::optional<Voice> voice_{std::in_place};
    rate::RateRenderer renderer_;
    std::array<int, kControlCount> positions_{};
};

}  // namespace vireon::plugin
