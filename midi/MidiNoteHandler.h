// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "engine/SynthState.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {

/// Receives the note status text ("On" or "Off"). Called on the thread that handles the notes,
/// which may be the audio thread: it must hand the text over and return at once.
class StatusSink {
  public:
    virtual void reportNoteStatus(std::string_view text) = 0;

  protected:
    ~StatusSink() = default;
};

/// Turns incoming MIDI messages into the engine's pitch and gate: monophonic, latest note wins,
/// the gate open while more note-ons than note-offs have arrived. Only channel 1 plays.
///
/// The playing controls change that: a "last held" priority returns to the latest key still held
/// when the sounding one is released; the pitch wheel bends by up to the bend range; a glide
/// slides each new pitch in (see engine::SynthState's glide fields); and the sustain pedal,
/// when enabled, holds note-offs until it lifts. At their start-up positions none of them does
/// anything.
///
/// Each message reads and then writes the note count and the gate, so one thread at a time
/// hands it messages: the one that renders the state (see live::LiveInstrument for how the
/// program's many sources reach it).
class MidiNoteHandler final : public MidiReceiver {
  public:
    explicit MidiNoteHandler(engine::SynthState& state) : state_(state) {}

    /// Connects the status sink; until then reported texts go nowhere.
    void connectStatusSink(StatusSink* sink) { statusSink_ = sink; }

    /// Handles one input-callback message. Never waits, allocates or calls the system.
    void onMidiMessage(MidiMessageKind kind, std::uint32_t param1, std::uint32_t param2) override;

    /// The current note status text: empty until the first message, then "On" or "Off". Any thread.
    std::string_view noteText() const;

    // The playing controls, set on the thread that hands the messages over.
    /// Semitones a full turn of the pitch wheel bends, 0 to ignore the wheel.
    void setBendRange(int semitones);
    /// Glide time in milliseconds (0 for none) and whether it is for legato notes only; both
    /// apply from the next note.
    void setGlide(int milliseconds, bool legatoOnly);
    /// Whether the sustain pedal is listened to. Turning it off lets held notes go.
    void setPedalEnabled(bool enabled);
    /// Whether releasing the sounding key returns to the latest key still held.
    void setReturnToHeld(bool returnToHeld);

  private:
    enum class NoteText : std::uint8_t { None, On, Off };
    static constexpr std::size_t kKeys = 128;

    void handleShortMessage(std::uint32_t message);
    void noteOn(std::uint32_t note, std::uint32_t velocity);
    void noteOff(std::uint32_t note);
    void countRelease();
    void keyRelease(std::uint32_t note);
    void liftPedal();
    void sound(std::uint32_t note, bool glides);
    void retarget();
    double targetFrequency(std::uint32_t note) const;
    bool isHeld(std::uint32_t note) const;
    void removeHeld(std::uint32_t note);
    void closeGate();

    engine::SynthState& state_;
    StatusSink* statusSink_ = nullptr;
    std::atomic<NoteText> noteText_{NoteText::None};

    int bendRange_ = 0;
    int bend_ = 0;  // the wheel, -8192 to 8191
    std::int32_t glideSamples_ = 0;
    bool glideLegatoOnly_ = false;
    bool pedalEnabled_ = false;
    bool pedalDown_ = false;
    bool returnToHeld_ = false;

    // The note whose pitch sounds, once one has.
    std::uint32_t soundingNote_ = 0;
    bool sounded_ = false;

    // The keys held, oldest first, and the ones whose release the pedal holds back. Kept in
    // every priority, so that changing it while playing finds them.
    std::array<std::uint8_t, kKeys> held_{};
    std::size_t heldCount_ = 0;
    std::array<bool, kKeys> sustained_{};
    // Note-offs the pedal holds back, as the count of held notes sees them.
    std::uint32_t deferredOffs_ = 0;
};

}  // namespace vireon::midi
