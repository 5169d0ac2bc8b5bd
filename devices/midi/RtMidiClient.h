// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <atomic>
#include <memory>
#include <string>

#include "devices/midi/RtMidiSupport.h"

namespace vireon::midi {

/// This program's client of one MIDI system (the ALSA sequencer or a JACK server), delivering
/// what arrives through a MessageGate. The one place that makes, closes and gives up RtMidi
/// clients, for the device list and for Vireon's own input alike.
///
/// A client is given up, never destroyed, when closing it did not finish in time or its JACK
/// server has gone: destroying it would wait for the server, or touch a vanished one, and its
/// thread may still call back. Whatever the gate hands messages to must then live as long as
/// the process. UI thread.
class RtMidiClient {
  public:
    /// A client of `api` named `name`, passing arriving messages to `gate`; null when the
    /// system is not there or refuses the client. With `errors`, RtMidi's errors are counted
    /// there instead of thrown: RtMidi then goes on after a failed call, so only a caller that
    /// checks the count after every call may ask for it. `gate` and `errors` must outlive the
    /// client.
    static std::unique_ptr<RtMidiClient> connect(RtMidi::Api api, const std::string& name,
                                                 MessageGate& gate,
                                                 std::atomic<unsigned>* errors = nullptr);

    ~RtMidiClient();
    RtMidiClient(const RtMidiClient&) = delete;
    RtMidiClient& operator=(const RtMidiClient&) = delete;

    RtMidi::Api api() const { return api_; }

    /// The client itself, for listing and opening ports. Not after it was given up.
    RtMidiIn& input() { return *input_; }

    /// Closes its port, within kClosePortDeadline; false when the client had to be given up.
    bool closePort();

    /// Gives the client up without a call to its server, which has gone.
    void giveUp();

  private:
    RtMidiClient(RtMidi::Api api, std::unique_ptr<RtMidiIn> input)
        : api_(api), input_(std::move(input)) {}

    RtMidi::Api api_;
    std::unique_ptr<RtMidiIn> input_;
};

}  // namespace vireon::midi
