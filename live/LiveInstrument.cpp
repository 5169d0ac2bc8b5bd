// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/LiveInstrument.h"

#include "engine/Constants.h"

namespace vireon::live {

LiveInstrument::LiveInstrument() : instrument_(engine::kSampleRate) {
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

void LiveInstrument::post(const Event& event) {
    if (!queue_.push(event)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

void LiveInstrument::render(float* output, std::uint32_t frames) noexcept {
    applyPending();
    instrument_.render(output, frames);
}

void LiveInstrument::applyPending() noexcept {
    queue_.popAll([this](const Event& event) { apply(event); });
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
