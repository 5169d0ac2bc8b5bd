#pragma once

namespace vireon::audio {

/// Whether the JACK server that clients of this process connect to by default accepts a client
/// right now. Never starts a server. Any thread but the audio thread: it opens a connection.
bool jackServerReachable();

}  // namespace vireon::audio
