// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "concurrency/MpscQueue.h"
#include "concurrency/PublishedWords.h"
#include "controls/Controls.h"
#include "instrument/Instrument.h"
#include "midi/MidiMessage.h"

namespace vireon::live {

/// The instrument as the program plays it, from many threads at once: the MIDI systems'
/// threads, Vireon's own input, the on-screen keyboard and the sliders hand their events to one
/// queue, and the thread that renders applies them, in the order they arrived, at the start of
/// the next block it renders. That thread is the only one that touches the instrument, so the
/// note handling and the controls act exactly as in the renderer and the plugin.
///
/// Sources (any thread) never wait: when the queue is full, which takes thousands of events
/// arriving while nothing renders, the event is dropped and counted. The rendering side belongs
/// to one thread at a time: the audio callback while a stream runs, otherwise the thread that
/// starts and stops streams, which hands it over by starting or stopping the stream.
class LiveInstrument final : public midi::MidiReceiver {
  public:
    /// An instrument at 8000 Hz, silent, every control at its start-up position. A control the
    /// program reads only at start-up (Disorder) is held there: a controller bound to it moves
    /// what the window shows, not the sound. Allocates.
    LiveInstrument();

    /// A MIDI device's message: short messages play, a close ends the notes the device held.
    /// Any thread.
    void onMidiMessage(midi::MidiMessageKind kind, std::uint32_t param1,
                       std::uint32_t param2) override;

    /// A short message packed as status | data1 << 8 | data2 << 16. Any thread.
    void playMessage(std::uint32_t packed);

    /// A control moved to `position`, as a slider moves it. Any thread.
    void moveControl(controls::ControlId control, int position);

    /// The next channel-1 control change that can be bound, from whichever source, binds its
    /// controller to `control` and then moves it. Choosing another control before that learns
    /// for that one instead. Any thread.
    void learnController(controls::ControlId control);

    /// `control` answers to no controller any more, and stops waiting for one. Any thread.
    void forgetController(controls::ControlId control);

    /// Every binding, before any stream renders: from the controllers file. Rendering side.
    void setControllers(const instrument::ControllerMap& controllers) noexcept;

    /// The bindings as the rendering side last set them, learned and forgotten ones included,
    /// so that the window shows and saves what the instrument does. Any thread.
    instrument::ControllerMap controllers() const {
        return instrument::ControllerMap::fromPacked(bindings_.read());
    }

    /// Where a controller last moved `control` (see Instrument::controllerMove). Any thread.
    instrument::Instrument::ControllerMove controllerMove(controls::ControlId control) const {
        return instrument_.controllerMove(control);
    }

    /// Events dropped because the queue was full. Any thread.
    std::uint64_t droppedEvents() const { return dropped_.load(std::memory_order_relaxed); }

    /// What the note handling last reported, and how often (see Instrument::noteStatus).
    /// Any thread.
    instrument::Instrument::NoteStatus noteStatus() const { return instrument_.noteStatus(); }

    /// RT: applies the events waiting, then renders the next `frames` frames. Rendering side.
    void render(float* output, std::uint32_t frames) noexcept;

    /// RT: applies the events waiting without rendering, while no stream renders: the notes
    /// and controls stay current for the next stream. Rendering side.
    void applyPending() noexcept;

    /// The instrument itself, for the rendering side: start-up values and rate changes.
    instrument::Instrument& instrument() { return instrument_; }

  private:
    struct Event {
        enum class Kind : std::uint8_t { Message, InputClosed, Control, Learn, Forget };
        Kind kind = Kind::Message;
        controls::ControlId control{};
        std::uint32_t value = 0;  // the packed message, or the control's position
    };
    // Far more than the densest burst a MIDI system delivers between two blocks (a JACK period
    // carries a few thousand messages at most); 128 KB.
    static constexpr std::size_t kQueuedEvents = 8192;
    static_assert(sizeof(Event) == 8);

    void post(const Event& event);
    void apply(const Event& event) noexcept;
    void learnFrom(std::uint32_t packed) noexcept;
    void publishBindings() noexcept;

    instrument::Instrument instrument_;
    concurrency::MpscQueue<Event, kQueuedEvents> queue_;
    std::atomic<std::uint64_t> dropped_{0};
    // Rendering side: the control waiting for a controller.
    std::optional<controls::ControlId> learning_;
    // The instrument's bindings, published by the rendering side after each change.
    concurrency::PublishedWords<instrument::ControllerMap::kPackedWords> bindings_{
        instrument::ControllerMap{}.packed()};
};

}  // namespace vireon::live
