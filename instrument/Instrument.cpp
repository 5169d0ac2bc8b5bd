// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/Instrument.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/ChaosOscillator.h"
#include "midi/MidiMessage.h"

namespace vireon::instrument {

using controls::ControlId;

bool Instrument::supportsRate(double outputRate) {
    // Hosts run at whole rates; a fraction would detune every note by it.
    return outputRate >= rate::kMinOutputRate && outputRate <= rate::kMaxOutputRate &&
           outputRate == std::floor(outputRate) &&
           rate::isSupportedOutputRate(static_cast<std::uint32_t>(outputRate));
}

namespace {

std::uint32_t checkedRate(double outputRate) {
    if (!Instrument::supportsRate(outputRate)) {
        throw std::invalid_argument("The instrument cannot play at this rate.");
    }
    return static_cast<std::uint32_t>(outputRate);
}

}  // namespace

Instrument::Instrument(double outputRate) {
    changeRate(outputRate);
    reset();
}

void Instrument::changeRate(double outputRate) {
    renderer_.emplace(voice_->state, voice_->adsr, checkedRate(outputRate));
}

void Instrument::reset() noexcept {
    voice_.emplace(statusBoard_);
    renderer_->reset();
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        positions_[i] = controls::kControls[i].initial;
    }
}

void Instrument::setControl(ControlId control, float value) noexcept {
    const auto index = static_cast<std::size_t>(control);
    const int position =
        controls::controlPosition(value, controls::kControls[index], positions_[index]);
    if (position != positions_[index]) {
        apply(control, position);
    }
}

void Instrument::moveControl(ControlId control, int position) noexcept {
    const controls::Control& described = controls::kControls[static_cast<std::size_t>(control)];
    apply(control, std::clamp(position, described.min, described.max));
}

void Instrument::setDisorderValue(std::int64_t value) noexcept {
    renderer_->alignForEvent();
    engine::setDisorder(voice_->state, value);
}

void Instrument::apply(ControlId control, int position) noexcept {
    positions_[static_cast<std::size_t>(control)] = position;
    renderer_->alignForEvent();
    engine::SynthState& state = voice_->state;
    engine::AdsrSettings& adsr = voice_->adsr;
    constexpr auto kRelaxed = std::memory_order_relaxed;
    switch (control) {
        case ControlId::Havoc:
            engine::setHavoc(state, position);
            break;
        case ControlId::Bedlam:
            engine::setBedlam(state, position);
            break;
        case ControlId::Disorder:
            engine::setDisorder(state, position);
            break;
        case ControlId::Attack:
            adsr.attack.store(position, kRelaxed);
            break;
        case ControlId::Decay:
            adsr.decay.store(position, kRelaxed);
            break;
        case ControlId::Sustain:
            adsr.sustain.store(position, kRelaxed);
            break;
        case ControlId::Release:
            adsr.release.store(position, kRelaxed);
            break;
        case ControlId::Fade:
            adsr.fade.store(position, kRelaxed);
            break;
        case ControlId::Velocity:
            adsr.velocity.store(position, kRelaxed);
            break;
        case ControlId::Bend:
            voice_->notes.setBendRange(position);
            break;
        case ControlId::Glide:
        case ControlId::GlideMode:
            voice_->notes.setGlide(positions_[static_cast<std::size_t>(ControlId::Glide)],
                                   positions_[static_cast<std::size_t>(ControlId::GlideMode)] ==
                                       static_cast<int>(controls::GlideMode::Legato));
            break;
        case ControlId::Pedal:
            voice_->notes.setPedalEnabled(position != 0);
            break;
        case ControlId::Priority:
            voice_->notes.setReturnToHeld(position ==
                                          static_cast<int>(controls::Priority::LastHeld));
            break;
    }
}

void Instrument::handleMidi(std::span<const std::uint8_t> bytes) noexcept {
    constexpr std::size_t kShortMessageBytes = 3;
    if (bytes.empty() || bytes.size() > kShortMessageBytes) {
        return;
    }
    const std::uint8_t data1 = bytes.size() > 1 ? bytes[1] : 0;
    const std::uint8_t data2 = bytes.size() > 2 ? bytes[2] : 0;
    handleMessage(midi::packShortMessage(bytes[0], data1, data2));
}

void Instrument::handleMessage(std::uint32_t packed) noexcept {
    renderer_->alignForEvent();
    if (const std::optional<ControllerMap::Move> move = controllers_.moveFor(packed)) {
        const auto index = static_cast<std::size_t>(move->control);
        if (!heldForNextStart_[index]) {
            moveControl(move->control, move->position);
        }
        controllerMoves_[index].report(static_cast<std::uint32_t>(move->position));
    }
    // Every message reports the note status, a control change included.
    voice_->notes.onMidiMessage(midi::MidiMessageKind::Data, packed, 0);
}

void Instrument::bindController(ControlId control, int controller) noexcept {
    controllers_.bind(control, controller);
}

void Instrument::forgetController(ControlId control) noexcept {
    controllers_.forget(control);
}

void Instrument::holdForNextStart(ControlId control) noexcept {
    heldForNextStart_[static_cast<std::size_t>(control)] = true;
}

Instrument::ControllerMove Instrument::controllerMove(ControlId control) const noexcept {
    const concurrency::LatestReport::Reading latest =
        controllerMoves_[static_cast<std::size_t>(control)].read();
    return {static_cast<int>(latest.value), latest.count};
}

void Instrument::handleInputClosed() noexcept {
    renderer_->alignForEvent();
    voice_->notes.onMidiMessage(midi::MidiMessageKind::Close, 0, 0);
}

void Instrument::closeGate() noexcept {
    renderer_->alignForEvent();
    voice_->state.gate.store(0, std::memory_order_relaxed);
}

void Instrument::render(float* output, std::uint32_t frames) noexcept {
    renderer_->render(output, frames);
}

void Instrument::StatusBoard::reportNoteStatus(std::string_view text) {
    latest_.report(text == "On" ? 1 : text == "Off" ? 2 : 0);
}

Instrument::NoteStatus Instrument::StatusBoard::read() const {
    const concurrency::LatestReport::Reading latest = latest_.read();
    return {latest.value == 1 ? "On" : latest.value == 2 ? "Off" : "", latest.count};
}

Instrument::NoteStatus Instrument::noteStatus() const noexcept {
    return statusBoard_.read();
}

}  // namespace vireon::instrument
