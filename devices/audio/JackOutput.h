// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace vireon::audio {

namespace detail {
struct StreamContext;
}

/// The output played straight through libjack: the program's one JACK client while it plays a
/// JACK server directly. It offers one audio port, "out_0", connected to the server's first
/// playback port, and, when asked, Vireon's own MIDI input port, "MIDI in". Both are served by
/// one process callback, so each MIDI event applies at its own frame of the cycle: its sound
/// starts one fixed delay (the converter's) after the event, wherever in the period it came.
///
/// It also is the way back to a JACK server that restarted while the program played on the
/// audio library's own JACK device. The library cannot follow that server itself: its JACK
/// host API keeps the first server's client, and terminating the library to begin afresh
/// aborts the process once that server has gone.
struct JackOutput {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    /// Vireon's own MIDI input, or null.
    jack_port_t* midiPort = nullptr;
    std::uint32_t rate = 0;
    /// Plays silence and leaves the instrument alone until set, so that the program can set the
    /// instrument up between opening and starting the output. Set by the UI thread.
    std::atomic<bool> playing{false};
    /// From the port to the listener, in seconds, as the server reports it once connected.
    double latency = 0.0;
    /// Reached by the process callback, which may outlive the AudioOutput.
    std::shared_ptr<detail::StreamContext> context;
};

/// The name of the MIDI input port, the same on every MIDI system Vireon offers it on.
inline constexpr const char* kOwnMidiPortName = "MIDI in";

/// Opens a client named `clientName` on the server that answers now (never starting one; with a
/// number added by the server only if another client has that name), sets
/// the instrument to the server's rate, and activates it, silent until `playing` is set; with `ownMidiInput`, the client also
/// offers Vireon's own MIDI input. Null when there is no server, its rate cannot be played, or
/// any step fails. Closing is jack_client_close's, and only while the server is there; a client
/// of a server that has gone is left as it is, with this object.
/// UI thread, while no other stream plays the instrument.
std::shared_ptr<JackOutput> openJackOutput(const std::string& clientName,
                                           const std::shared_ptr<detail::StreamContext>& context,
                                           bool ownMidiInput = false);

}  // namespace vireon::audio
