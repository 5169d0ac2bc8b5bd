// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

  private:
    enum class NoteText : std::uint8_t { None, On, Off };
    void handleShortMessage(std::uint32_t message);
    void noteOff();
    void closeGate();

    engine::SynthState& state_;
    StatusSink* statusSink_ = nullptr;
    std::atomic<NoteText> noteText_{NoteText::None};
};

}  // namespace vireon::midi
