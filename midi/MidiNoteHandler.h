#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "engine/SynthState.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {

/// Receives the note status text ("On" or "Off"). Called on the MIDI thread: it must hand the
/// text over and return, never wait for another thread.
class StatusSink {
  public:
    virtual void reportNoteStatus(std::string_view text) = 0;

  protected:
    ~StatusSink() = default;
};

/// Turns incoming MIDI messages into the engine's pitch and gate: monophonic, latest note wins,
/// the gate open while more note-ons than note-offs have arrived. Only channel 1 plays.
class MidiNoteHandler {
  public:
    explicit MidiNoteHandler(engine::SynthState& state) : state_(state) {}

    /// Connects the status sink. Call before any input device is opened; until then reported
    /// texts go nowhere. UI thread.
    void connectStatusSink(StatusSink* sink) { statusSink_.store(sink, std::memory_order_release); }

    /// Handles one input-callback message. MIDI thread (or the thread that closes the device).
    void onMidiMessage(MidiMessageKind kind, std::uint32_t param1, std::uint32_t param2);

    /// The current note status text: empty until the first message, then "On" or "Off". Any thread.
    std::string_view noteText() const;

  private:
    enum class NoteText : std::uint8_t { None, On, Off };

    void handleShortMessage(std::uint32_t message);
    void noteOff();
    void closeGate();

    engine::SynthState& state_;
    std::atomic<StatusSink*> statusSink_{nullptr};
    std::atomic<NoteText> noteText_{NoteText::None};
};

}  // namespace vireon::midi
