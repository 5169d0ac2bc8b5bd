// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/JackRecorder.h"

namespace vireon::ui::test {

/// A MIDI keyboard: a JACK client with one MIDI output port.
class TestKeyboard {
  public:
    explicit TestKeyboard(const std::string& name) : out_(RtMidi::UNIX_JACK, name) {
        out_.openVirtualPort("keys");
    }
    void send(std::vector<unsigned char> message) { out_.sendMessage(&message); }
    void noteOn(int note) { send({0x90, static_cast<unsigned char>(note), 100}); }
    void noteOff(int note) { send({0x80, static_cast<unsigned char>(note), 0}); }

  private:
    RtMidiOut out_;
};

/// Whether the next `count` samples the recorder takes are all exactly zero.
inline bool silentFor(testsupport::JackRecorder& recorder, std::size_t count) {
    recorder.waitForSamples(recorder.samples().size() + count, std::chrono::seconds(5));
    const std::vector<float>& all = recorder.samples();
    for (std::size_t i = all.size() - count; i < all.size(); ++i) {
        if (all[i] != 0.0f) {
            return false;
        }
    }
    return true;
}

}  // namespace vireon::ui::test
