// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <atomic>

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <streambuf>
#include <vector>

#include "midi/MidiMessage.h"

namespace vireon::midi {

/// RtMidi reports a client it cannot create on std::cerr, from within its constructor and so
/// before an error callback can be set; a server that ends, or a client name that another
/// process is registering at that moment, would make it print. This program writes nothing to
/// std::cerr itself, so the stream is simply muted meanwhile.
class MutedStandardError {
  public:
    MutedStandardError();
    ~MutedStandardError();
    MutedStandardError(const MutedStandardError&) = delete;
    MutedStandardError& operator=(const MutedStandardError&) = delete;

  private:
    std::streambuf* saved_;
};

/// Whether this RtMidi was built with `api`.
bool compiledIn(RtMidi::Api api);

/// Whether the MIDI system behind `api` (ALSA's sequencer or a JACK server) accepts a client
/// now. Asking first spares a machine without it a client that cannot work. UI thread.
bool systemPresent(RtMidi::Api api);

/// Closing a port takes a server a few milliseconds. A JACK server that has stopped answering
/// (suspended, or stuck) never replies, and the program must still be able to quit and save.
inline constexpr std::chrono::seconds kClosePortDeadline{2};

/// Closes the port of `input`, a client of `api`, on a helper thread (servers::callWithin); a JACK
/// client's server is asked first whether it is still there, since touching a client whose
/// server has vanished can crash inside libjack. False when the port was left open, because the
/// server has gone or the helper is still waiting for it: `input` must then be neither used nor
/// destroyed again. UI thread.
bool closePortWithin(RtMidiIn* input, RtMidi::Api api, std::chrono::milliseconds deadline);

/// The packed form the note handler decodes, for a message RtMidi delivered: nothing for an
/// empty message or one longer than a short message's three bytes. Any thread.
std::optional<std::uint32_t> packedShortMessage(const std::vector<unsigned char>* message);

/// Lets the messages RtMidi delivers on its own threads through to the note handler while it is
/// open, and lets the UI thread shut it knowing that no message is inside the handler any more.
class MessageGate {
  public:
    explicit MessageGate(MidiReceiver& handler) : handler_(handler) {}

    /// Messages pass from now on. UI thread.
    void open() { flowing_.store(true); }

    /// Messages are dropped from now on; one already on its way may still arrive. UI thread.
    void close() { flowing_.store(false); }

    /// Closes, and returns once no message is inside the handler any more, so that whatever
    /// the caller tells the handler next comes after the last message. UI thread.
    void closeAndDrain();

    /// Hands a short message to the handler while open; drops anything else. RtMidi's threads.
    void deliver(const std::vector<unsigned char>* message);

  private:
    MidiReceiver& handler_;
    std::atomic<bool> flowing_{false};
    std::atomic<int> handling_{0};
};

}  // namespace vireon::midi
