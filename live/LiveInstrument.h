// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "concurrency/MpscQueue.h"
#include "concurrency/PublishedWords.h"
#include "controls/Controls.h"
#include "instrument/Instrument.h"
#include "live/LiveClock.h"
#include "midi/MidiMessage.h"

namespace vireon::live {

/// When the output will play a block, as it reports it in nanoseconds of its own clock: its
/// reading as it asks for the block, and the time the block's first frame is heard. 0 where it
/// does not tell.
struct OutputTimes {
    ClockReading now = 0;
    ClockReading heard = 0;
};

/// The instrument as the program plays it, from many threads at once: the MIDI systems'
/// threads, Vireon's own input, the on-screen keyboard and the sliders hand their events to one
/// queue, and the thread that renders applies them in the order they arrived. That thread is the
/// only one that touches the instrument, so the note handling and the controls act exactly as in
/// the renderer and the plugin.
///
/// Each event is stamped with the clock as it arrives and applies one fixed delay later, at the
/// frame of the block that time falls on. So notes keep the spacing they were played with
/// instead of moving to the start of whichever block comes next. The delay is the longest block
/// rendered so far (a block is rendered at the latest one block's time before it plays, so an
/// event arriving just after one began is still due inside the next) plus a little for a
/// callback that starts late. An event whose time has passed all the same applies at the start
/// of the block, and is counted.
///
/// Where the output says when a block will be heard, on this clock, the block is mapped to that
/// time less a fixed lead, so each event is heard the delay and the lead after it arrived however
/// unevenly the blocks are rendered. Otherwise the block is mapped to the clock as it was when
/// its rendering began, which moves a note with the time its block happens to be rendered.
///
/// Sources (any thread) never wait: when the queue is full, which takes thousands of events
/// arriving while nothing renders, the event is dropped and counted. The rendering side belongs
/// to one thread at a time: the audio callback while a stream runs, otherwise the thread that
/// starts and stops streams, which hands it over by starting or stopping the stream.
class LiveInstrument final : public midi::MidiReceiver {
  public:
    /// An instrument at 8000 Hz, silent, every control at its start-up position, whose events
    /// are stamped and placed with `clock`. A control the program reads only at start-up
    /// (Disorder) is held there: a controller bound to it moves what the window shows, not the
    /// sound. Allocates.
    explicit LiveInstrument(Clock clock = monotonicClock);

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

    /// Events applied at the start of a block because their time had passed before it began:
    /// they arrived more than the delay before the block's rendering started. Any thread.
    std::uint64_t lateEvents() const { return late_.load(std::memory_order_relaxed); }

    /// How long after its arrival an event applies now, in nanoseconds of the clock: the
    /// allowance for a late callback before the first block. Any thread.
    ClockReading eventDelay() const { return delay_.load(std::memory_order_relaxed); }

    /// Room for a rendering that starts a little after its block's time.
    static constexpr ClockReading kLateStartAllowance = 1'000'000;

    /// How far ahead the output may be: no output buffers a second of sound for live playing,
    /// so a time further ahead than that comes from another clock.
    static constexpr ClockReading kFurthestAhead = 1'000'000'000;

    /// Room between the output's reading of its clock and this clock's reading as the block
    /// begins: the output reads it just before it asks for the block. Two different clocks
    /// hardly ever lie this close.
    static constexpr ClockReading kSameClockTolerance = 2'000'000;

    /// What the note handling last reported, and how often (see Instrument::noteStatus).
    /// Any thread.
    instrument::Instrument::NoteStatus noteStatus() const { return instrument_.noteStatus(); }

    /// RT: renders the next `frames` frames, applying each waiting event at the frame its time
    /// falls on; events due after the block wait for a later one. The output's `times` place
    /// the block when they are on this clock. Reads the clock once. Rendering side.
    void render(float* output, std::uint32_t frames, OutputTimes times = {}) noexcept;

    /// A MIDI message timed at a frame of the block being rendered, as a JACK MIDI port or a
    /// plugin host delivers it.
    struct TimedMessage {
        std::uint32_t frame = 0;
        std::span<const std::uint8_t> bytes;
    };

    /// Where the timed messages of one block come from: `next(context, message)` fills in the
    /// next one and returns false when there are no more. Called on the rendering side only.
    struct TimedMessages {
        bool (*next)(void* context, TimedMessage& message) noexcept;
        void* context;
    };

    /// RT: renders the next `frames` frames as render() does, applying each of `timed` at its
    /// own frame as well: the block is rendered up to that frame first, so the message takes
    /// effect there, exactly as the renderer and the plugin place events. Messages are taken in
    /// the order given; one timed before the frame already reached (out of order, or beyond the
    /// block) applies where the block stands. Rendering side.
    void render(float* output, std::uint32_t frames, TimedMessages timed) noexcept;

    /// RT: applies every event waiting, due or not, without rendering, while no stream renders:
    /// the notes and controls stay current for the next stream. Rendering side.
    void applyPending() noexcept;

    /// A stream is about to start: the delay and the lead are learnt afresh from its blocks, as
    /// another stream's block sizes and buffering say nothing of this one's. Rendering side,
    /// before the stream starts.
    void beginStream() noexcept;

    /// The instrument itself, for the rendering side: start-up values and rate changes.
    instrument::Instrument& instrument() { return instrument_; }

  private:
    struct Event {
        enum class Kind : std::uint8_t { Message, InputClosed, Control, Learn, Forget };
        Kind kind = Kind::Message;
        controls::ControlId control{};
        std::uint32_t value = 0;  // the packed message, or the control's position
        ClockReading arrived = 0;
    };
    // Far more than the densest burst a MIDI system delivers within the delay (a JACK period
    // carries a few thousand messages at most); 192 KB.
    static constexpr std::size_t kQueuedEvents = 8192;
    static_assert(sizeof(Event) == 16);

    void post(Event event);
    void renderEvents(float* output, std::uint32_t frames, const TimedMessages* timed,
                      OutputTimes times) noexcept;
    void apply(const Event& event) noexcept;
    void learnFrom(std::uint32_t packed) noexcept;
    void playNow(std::span<const std::uint8_t> bytes) noexcept;
    void publishBindings() noexcept;

    instrument::Instrument instrument_;
    Clock clock_;
    concurrency::MpscQueue<Event, kQueuedEvents> queue_;
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> late_{0};
    // Written by the rendering side only.
    std::atomic<ClockReading> delay_{kLateStartAllowance};
    // Rendering side, while the output tells when blocks are heard: how long before that a
    // block starts, none until a block has followed another; the clock as the last block began,
    // and when the frame after it is heard (0 when the output did not tell).
    static constexpr ClockReading kNoLead = std::numeric_limits<ClockReading>::min();
    ClockReading lead_ = kNoLead;
    ClockReading previousNow_ = 0;
    ClockReading previousEnd_ = 0;
    // Rendering side: the control waiting for a controller.
    std::optional<controls::ControlId> learning_;
    // The instrument's bindings, published by the rendering side after each change.
    concurrency::PublishedWords<instrument::ControllerMap::kPackedWords> bindings_{
        instrument::ControllerMap{}.packed()};
};

}  // namespace vireon::live
