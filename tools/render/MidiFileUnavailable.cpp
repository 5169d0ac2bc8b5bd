// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI file reader where the build has no MIDI file library (the portable core, Windows
// among it).

#include "tools/render/MidiFileReader.h"

namespace vireon::tools {

std::variant<std::vector<TimedMessage>, std::string> readMidiFile(const std::string& path) {
    return "this build of vireon-render reads no MIDI files (it has no libsmf), so not " + path +
           "; give the messages as an events file with --events.";
}

}  // namespace vireon::tools
