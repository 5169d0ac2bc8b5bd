// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "devices/midi/MidiPorts.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {

/// The MIDI input ports of this machine through RtMidi: first the ALSA sequencer's ports, then
/// the MIDI output ports of a running JACK server. A system that is not there is left out
/// without a word. Short messages of the open port reach the note handler on RtMidi's thread.
///
/// The port list is taken by deviceCount() and kept, while ports may come and go: a device
/// number stands for the port of that name, wherever the system lists it now.
class RtMidiPorts final : public MidiPorts {
  public:
    /// What patchbays show for the client that the chosen device feeds. It is not "Vireon":
    /// that client is the program's own input, open to every program for the whole run, and
    /// two clients of one name would leave a patchbay user guessing which is which.
    static constexpr const char* kClientName = "Vireon devices";
    /// The name of the input port that an open device feeds.
    static constexpr const char* kInputPortName = "MIDI in";

    /// Lists nothing until deviceCount() is called. `handler` must outlive this object.
    /// `clientName` is what the MIDI systems show for this program. UI thread.
    explicit RtMidiPorts(MidiReceiver& handler, std::string clientName = kClientName);

    /// Closes the open device, which tells the handler. UI thread.
    ~RtMidiPorts();

    RtMidiPorts(const RtMidiPorts&) = delete;
    RtMidiPorts& operator=(const RtMidiPorts&) = delete;

    /// Looks for the MIDI systems and lists their input ports anew. UI thread.
    int deviceCount() override;

    /// The full name of a listed port, as its system gives it. UI thread.
    std::optional<std::string> deviceName(int device) override;

    /// Connects to the port that bears the listed name now; closes any open device first.
    /// True only when the connection is verified to exist. UI thread.
    bool open(int device) override;

    /// Lets messages of the open device reach the handler. UI thread.
    bool start() override;

    /// Drops incoming messages from now on. UI thread.
    void stop() override;

    /// Disconnects the open device, waits until no message of it is being handled any more and
    /// then tells the handler. A MIDI system that does not answer within a few seconds is left
    /// to itself, with its client, so that quitting never hangs on it. UI thread.
    void close() override;

    /// Leaves the JACK client, and the open device if JACK carried it, to the lost server and
    /// tells the handler of that close. The next open of a JACK device connects afresh and
    /// finds its port by name. UI thread.
    bool forgetJackClients() override;
    bool leftAClientBehind() const override;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vireon::midi
