// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/lv2/Instrument.h"

#include <cmath>
#include <stdexcept>

#include "engine/ChaosOscillator.h"
#include "midi/MidiMessage.h"

namespace vireon::plugin {

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

Instrument::Instrument(double outputRate)
    : renderer_(voice_->state, voice_->adsr, checkedRate(outputRate)) {
    reset();
}

void Instrument::reset() {
    voice_.emplace();
    renderer_.reset();
    for (std::size_t i = 0; i < kControlCount; ++i) {
        positions_[i] = controls::kControls[i].initial;
    }
}

void Instrument::setControl(Control control, float value) {
    const std::size_t index = static_cast<std::size_t>(control);
    const int position =
        controls::controlPosition(value, controls::kControls[index], positions_[index]);
    if (position == positions_[index]) {
        return;
    }
    positions_[index] = position;
    renderer_.alignForEvent();
    engine::SynthState& state = voice_->state;
    engine::AdsrSettings& adsr = voice_->adsr;
    constexpr auto kRelaxed = std::memory_order_relaxed;
    switch (control) {
        case Control::Havoc:
            engine::setHavoc(state, position);
            break;
        case Control::Bedlam:
            engine::setBedlam(state, position);
            break;
        case Control::Disorder:
            engine::setDisorder(state, position);
            break;
        case Control::Attack:
            adsr.attack.store(position, kRelaxed);
            break;
        case Control::Decay:
            adsr.decay.store(position, kRelaxed);
            break;
        case Control::Sustain:
            adsr.sustain.store(position, kRelaxed);
            break;
        case Control::Release:
            adsr.release.store(position, kRelaxed);
            break;
    }
}

void Instrument::handleMidi(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kShortMessageBytes = 3;
    if (bytes.empty() || bytes.size() > kShortMessageBytes) {
        return;
    }
    renderer_.alignForEvent();
    const std::uint8_t data1 = bytes.size() > 1 ? bytes[1] : 0;
    const std::uint8_t data2 = bytes.size() > 2 ? bytes[2] : 0;
    voice_->notes.onMidiMessage(midi::MidiMessageKind::Data,
                                midi::packShortMessage(bytes[0], data1, data2), 0);
}

void Instrument::render(float* output, std::uint32_t frames) {
    renderer_.render(output, frames);
}

}  // namespace vireon::plugin
