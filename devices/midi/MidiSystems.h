// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace vireon::midi {

/// Whether this machine has an ALSA sequencer that accepts a client now. UI thread.
bool alsaSequencerAvailable();

/// Whether the JACK port named `source` (in full, "client:port") exists and is connected to an
/// input port called `inputPortName` of a client whose name starts with `clientName`. JACK
/// numbers a client's name ("Vireon-01") when another instance holds it. UI thread.
bool jackPortFeeds(const std::string& source, const std::string& clientName,
                   const std::string& inputPortName);

}  // namespace vireon::midi
