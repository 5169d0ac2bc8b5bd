// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "concurrency/SerialFunnel.h"
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
///
/// Several sources play at once (MIDI systems' threads, the on-screen keyboard on the UI
/// thread), and each message reads and then writes the note count and the gate. Messages are
/// therefore handled strictly one at a time, in the order each thread sent them, without a lock:
/// a message that arrives while another thread is handling one is handled by that thread, right
/// after its own, and the sender returns at once.
class MidiNoteHandler {
  public:
    explicit MidiNoteHandler(engine::SynthState& state) : state_(state) {}

    /// Connects the status sink. Call before any input device is opened; until then reported
    /// texts go nowhere. UI thread.
    void connectStatusSink(StatusSink* sink) { statusSink_.store(sink, std::memory_order_release); }

    /// Handles one input-callback message, or leaves it to the thread handling one right now.
    /// Any thread; never waits for another.
    void onMidiMessage(MidiMessageKind kind, std::uint32_t param1, std::uint32_t param2);

    /// The current note status text: empty until the first message, then "On" or "Off". Any thread.
    std::string_view noteText() const;

  private:
    enum class NoteText : std::uint8_t { None, On, Off };
    struct Message {
        MidiMessageKind kind = MidiMessageKind::Open;
        std::uint32_t param1 = 0;
    };
    // More than a burst of messages from every source at once.
    static constexpr std::size_t kWaitingMessages = 256;

    void handle(const Message& message);
    void handleShortMessage(std::uint32_t message);
    void noteOff();
    void closeGate();

    engine::SynthState& state_;
    std::atomic<StatusSink*> statusSink_{nullptr};
    std::atomic<NoteText> noteText_{NoteText::None};
    concurrency::SerialFunnel<Message, kWaitingMessages> funnel_;
};

}  // namespace vireon::midi
