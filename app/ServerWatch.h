// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include "devices/audio/AudioStream.h"

namespace vireon::midi {
class MidiInput;
class VirtualMidiInput;
}  // namespace vireon::midi

namespace vireon::app {

/// Looks after the sound servers while the program runs, a few times a second: the output
/// stream through its own supervisor, and, when a JACK server goes, every MIDI client of the
/// program on it, which are let go before anything opens a client of the next server. Vireon's
/// own input then comes back by itself once a server answers again. UI thread.
class ServerWatch {
  public:
    /// `ownInput` may be null. All must outlive this object.
    ServerWatch(audio::AudioStream& audio, midi::MidiInput& deviceList,
                midi::VirtualMidiInput* ownInput)
        : audio_(audio), deviceList_(deviceList), ownInput_(ownInput) {}

    /// One look; returns whether the output is sounding.
    bool look();

  private:
    audio::AudioStream& audio_;
    midi::MidiInput& deviceList_;
    midi::VirtualMidiInput* ownInput_;
    // Vireon's own input lost its JACK port with the server and offers it again once a server
    // answers.
    bool ownInputAwaitsJack_ = false;
    std::chrono::steady_clock::time_point nextOwnInputAttempt_{};
};

}  // namespace vireon::app
