// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <memory>

namespace vireon::servers {

struct JackClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using JackClient = std::unique_ptr<jack_client_t, JackClientCloser>;

/// A short-lived client of the JACK server that clients of this process connect to by default,
/// for looking at the server; nothing when no server accepts one now. Never starts a server.
/// Any thread but the audio thread.
JackClient openJackProbe();

/// Whether the JACK server that clients of this process connect to by default accepts a client
/// now. Never starts a server. Any thread but the audio thread: it opens a connection.
bool jackServerReachable();

}  // namespace vireon::servers
