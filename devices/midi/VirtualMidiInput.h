// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "midi/MidiMessage.h"

namespace vireon::midi {

/// Vireon's own MIDI input, there for the whole run whatever the device list holds: a JACK MIDI
/// input port "Vireon:MIDI in" while a JACK server runs, and an ALSA sequencer client "Vireon"
/// with a writable port "MIDI in" where the sequencer exists. Any program can connect to it (a
/// virtual keyboard, a sequencer, a DAW's MIDI track); every short message arriving is played
/// through the note handler, merged with the device chosen in the list and the on-screen
/// keyboard. A system that is not there is left out without a word.
class VirtualMidiInput {
  public:
    static constexpr const char* kClientName = "Vireon";
    static constexpr const char* kPortName = "MIDI in";

    /// Offers nothing until open(). `handler` must outlive this object. `clientName` is what
    /// the MIDI systems show for this program. UI thread.
    explicit VirtualMidiInput(MidiReceiver& handler, std::string clientName = kClientName);

    /// Closes the ports. UI thread.
    ~VirtualMidiInput();

    VirtualMidiInput(const VirtualMidiInput&) = delete;
    VirtualMidiInput& operator=(const VirtualMidiInput&) = delete;

    /// Offers the port on every MIDI system that answers now, closing first any port offered
    /// before. After a sound server has restarted, this one call brings the port back. JACK
    /// gives a client name to the first client that asks for it and numbers later ones
    /// ("Vireon-01"), so call this before anything else of the program registers with JACK
    /// under the same name (PortAudio's JACK host API does). Returns how many systems offer the
    /// port. UI thread.
    int open();

    /// Whether open() offers the port on JACK: not when the program's audio output is its one
    /// JACK client and offers it there itself. Offered unless told otherwise. UI thread.
    void offerOnJack(bool offer);

    /// Withdraws the port from every system, waits until no message of it is being handled and
    /// then ends every held note, since no note-off can come through it any more. Does nothing
    /// when nothing is open. A system that does not answer within a few seconds is left to
    /// itself, so that quitting never hangs on it. UI thread.
    void close();

    /// How many systems offer the port now. UI thread.
    int openSystems() const;

    /// Whether JACK is among them. UI thread.
    bool offersJack() const;

    /// The JACK server has gone, and every JACK client of the process with it; none of them may
    /// be touched again (see audio::JackServerWatch). Lets go of the JACK port's client without
    /// a call to the server and ends every held note, since no note-off can come through it any
    /// more; open() offers the port again once a server answers. UI thread.
    void forgetJackClient();

    /// Whether a close left a client behind (see MidiPorts::leftAClientBehind).
    bool leftAClientBehind() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vireon::midi
