#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "plugin/lv2/Controls.h"

namespace vireon::plugin {

/// One instance of the instrument, independent of any plugin format: its own synthesis state,
/// envelope settings and note handling, driven by control values and MIDI bytes as a host sends
/// them, rendering the engine's 8000 Hz stream. Nothing in it is shared with another instance.
///
/// Everything is allocated with the object; no member function allocates, locks or calls the
/// system, so all of them may run on the audio thread.
class Instrument {
  public:
    Instrument();

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

    /// Renders the next `frames` samples of the 8000 Hz stream. Audio thread.
    void render(float* output, std::uint32_t frames);

  private:
    struct Voice {
        engine::SynthState state;
        engine::AdsrSettings adsr;
        midi::MidiNoteHandler notes{state};
    };

    // Rebuilt in place by reset(); std::optional keeps it inside the instance, unallocated.
    std::optional<Voice> voice_;
    std::array<int, kControlCount> positions_{};
};

}  // namespace vireon::plugin
