#pragma once

#include <string>

namespace vireon::midi {

/// Stops ALSA and libjack from printing their diagnostics to standard error. Looking for a MIDI
/// system that is not there makes both libraries write lines that mean nothing to a musician;
/// "No MIDI IN" already says what matters. Process-wide. UI thread, before the first probe.
void silenceMidiSystemMessages();

/// Whether this machine has an ALSA sequencer that accepts a client now. UI thread.
bool alsaSequencerAvailable();

/// Whether the JACK server that clients of this process connect to by default accepts a client
/// now. Never starts a server. UI thread.
bool jackServerAvailable();

/// Whether the JACK port named `source` (in full, "client:port") exists and is connected to an
/// input port called `inputPortName` of a client whose name starts with `clientName`. JACK
/// numbers a client's name ("Vireon-01") when another instance holds it. UI thread.
bool jackPortFeeds(const std::string& source, const std::string& clientName,
                   const std::string& inputPortName);

}  // namespace vireon::midi
