// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveInstrument.h"

#include <algorithm>
#include <cstdlib>

#include "engine/Constants.h"

namespace vireon::live {

namespace {

constexpr ClockReading kNanosecondsPerSecond = 1'000'000'000;
// Beyond any block; keeps the product with the rate well inside 64 bits.
constexpr ClockReading kFarAhead = 1000 * kNanosecondsPerSecond;

// The frame that lies `offset` nanoseconds after a block's start, at `rate` frames per second.
std::uint64_t framesAfter(ClockReading offset, std::uint32_t rate) noexcept {
    return static_cast<std::uint64_t>(std::min(offset, kFarAhead) * rate / kNanosecondsPerSecond);
}

}  // namespace

LiveInstrument::LiveInstrument(Clock clock)
    : instrument_(engine::kSampleRate), clock_(clock) {
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        if (controls::kControls[i].actsInProgram == controls::Acts::AtNextStart) {
            instrument_.holdForNextStart(static_cast<controls::ControlId>(i));
        }
    }
}

void LiveInstrument::onMidiMessage(midi::MidiMessageKind kind, std::uint32_t param1,
                                   std::uint32_t /*param2: time stamp, unused*/) {
    if (kind == midi::MidiMessageKind::Data) {
        post({.kind = Event::Kind::Message, .value = param1});
    } else if (kind == midi::MidiMessageKind::Close) {
        post({.kind = Event::Kind::InputClosed});
    }
}

void LiveInstrument::playMessage(std::uint32_t packed) {
    post({.kind = Event::Kind::Message, .value = packed});
}

void LiveInstrument::moveControl(controls::ControlId control, int position) {
    post({.kind = Event::Kind::Control,
          .control = control,
          .value = static_cast<std::uint32_t>(position)});
}

void LiveInstrument::learnController(controls::ControlId control) {
    post({.kind = Event::Kind::Learn, .control = control});
}

void LiveInstrument::forgetController(controls::ControlId control) {
    post({.kind = Event::Kind::Forget, .control = control});
}

void LiveInstrument::setControllers(const instrument::ControllerMap& controllers) noexcept {
    instrument_.setControllers(controllers);
    publishBindings();
}

void LiveInstrument::publishBindings() noexcept {
    bindings_.publish(instrument_.controllers().packed());
}

void LiveInstrument::learnFrom(std::uint32_t packed) noexcept {
    const std::optional<int> controller = instrument::ControllerMap::controllerOf(packed);
    if (!learning_ || !controller) {
        return;
    }
    instrument_.bindController(*learning_, *controller);
    publishBindings();
    learning_.reset();
}

void LiveInstrument::post(Event event) {
    event.arrived = clock_();
    if (!queue_.push(event)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

void LiveInstrument::render(float* output, std::uint32_t frames, OutputTimes times) noexcept {
    renderEvents(output, frames, nullptr, times);
}

void LiveInstrument::render(float* output, std::uint32_t frames, TimedMessages timed) noexcept {
    renderEvents(output, frames, &timed, {});
}

void LiveInstrument::renderEvents(float* output, std::uint32_t frames, const TimedMessages* timed,
                                  OutputTimes times) noexcept {
    // The block's frames follow the clock at the output rate from its start: the time it is
    // heard less the lead, where the output tells it on this clock, or otherwise now.
    const ClockReading now = clock_();
    const std::uint32_t rate = instrument_.outputRate();
    const ClockReading delay = delay_.load(std::memory_order_relaxed);
    const ClockReading length = static_cast<ClockReading>(frames) * kNanosecondsPerSecond / rate;
    ClockReading start = now;
    const ClockReading ahead = times.heard - now;
    if (times.heard != 0 && std::abs(times.now - now) <= kSameClockTolerance && ahead >= 0 &&
        ahead <= kFurthestAhead) {
        // An event that arrives just after the block before began is due one delay after that
        // at the earliest, and this block must not start later or the event would be late:
        // heard - lead <= that block's now + delay. The lead is the most this has taken, and it
        // only grows. It is learnt from blocks heard right after the block before: across a
        // gap (an underrun) the time since that block's rendering says nothing of the output.
        if (previousEnd_ != 0 && std::abs(times.heard - previousEnd_) < length / 2) {
            lead_ = std::max(lead_, times.heard - previousNow_ - delay);
        }
        if (lead_ != kNoLead) {
            start = times.heard - lead_;
        }
        previousNow_ = now;
        previousEnd_ = times.heard + length;
    } else {
        previousEnd_ = 0;
    }
    TimedMessage message;
    bool messageWaits = timed != nullptr && timed->next(timed->context, message);
    std::uint32_t reached = 0;
    for (;;) {
        // The oldest queued event, if it is due inside the block: queue order is arrival order,
        // so nothing behind it is due earlier, give or take two sources racing.
        const Event* queued = queue_.front();
        ClockReading offset = 0;
        std::uint64_t queuedAt = frames;
        if (queued != nullptr) {
            offset = queued->arrived + delay - start;
            queuedAt = offset < 0 ? 0 : framesAfter(offset, rate);
        }
        // A flood that would fill the queue before its events fall due plays its oldest events
        // now, late, rather than have the newest dropped.
        const bool crowded = queued != nullptr && queue_.claimed() > kQueuedEvents / 2;
        const bool queuedDue = queuedAt < frames || crowded;
        if (!queuedDue && !messageWaits) {
            break;
        }
        if (queuedDue && (!messageWaits || queuedAt <= message.frame)) {
            const auto at =
                crowded ? reached : std::max(static_cast<std::uint32_t>(queuedAt), reached);
            instrument_.render(output + reached, at - reached);
            reached = at;
            const Event event = *queued;
            queue_.pop();
            if (offset < 0 || crowded) {
                late_.fetch_add(1, std::memory_order_relaxed);
            }
            apply(event);
        } else {
            const std::uint32_t at = std::clamp(message.frame, reached, frames);
            instrument_.render(output + reached, at - reached);
            reached = at;
            playNow(message.bytes);
            messageWaits = timed->next(timed->context, message);
        }
    }
    instrument_.render(output + reached, frames - reached);

    // The longest block so far sets the delay; the block sizes of a stream hardly ever change,
    // so in practice it is fixed from the first block on.
    if (length + kLateStartAllowance > delay) {
        delay_.store(length + kLateStartAllowance, std::memory_order_relaxed);
    }
}

void LiveInstrument::playNow(std::span<const std::uint8_t> bytes) noexcept {
    // Longer messages are system exclusive, which neither plays nor binds a controller.
    constexpr std::size_t kShortMessageBytes = 3;
    if (bytes.empty() || bytes.size() > kShortMessageBytes) {
        return;
    }
    learnFrom(midi::packShortMessage(bytes[0], bytes.size() > 1 ? bytes[1] : 0,
                                     bytes.size() > 2 ? bytes[2] : 0));
    instrument_.handleMidi(bytes);
}

void LiveInstrument::applyPending() noexcept {
    queue_.popAll([this](const Event& event) { apply(event); });
}

void LiveInstrument::beginStream() noexcept {
    delay_.store(kLateStartAllowance, std::memory_order_relaxed);
    lead_ = kNoLead;
    previousEnd_ = 0;
}

void LiveInstrument::apply(const Event& event) noexcept {
    switch (event.kind) {
        case Event::Kind::Message:
            learnFrom(event.value);
            instrument_.handleMessage(event.value);
            break;
        case Event::Kind::InputClosed:
            instrument_.handleInputClosed();
            break;
        case Event::Kind::Control:
            instrument_.moveControl(event.control, static_cast<int>(event.value));
            break;
        case Event::Kind::Learn:
            learning_ = event.control;
            break;
        case Event::Kind::Forget:
            instrument_.forgetController(event.control);
            publishBindings();
            if (learning_ == event.control) {
                learning_.reset();
            }
            break;
    }
}

}  // namespace vireon::live
