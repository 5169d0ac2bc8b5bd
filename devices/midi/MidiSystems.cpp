// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/MidiSystems.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <memory>

#include "devices/servers/JackProbe.h"

namespace vireon::midi {
namespace {

struct JackFree {
    void operator()(const char** names) const { jack_free(static_cast<void*>(names)); }
};

}  // namespace

bool alsaSequencerAvailable() {
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, 0) < 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

bool jackPortFeeds(const std::string& source, const std::string& clientName,
                   const std::string& inputPortName) {
    const servers::JackClient client = servers::openJackProbe();
    if (!client) {
        return false;
    }
    const jack_port_t* port = jack_port_by_name(client.get(), source.c_str());
    if (port == nullptr) {
        return false;
    }
    const std::unique_ptr<const char*, JackFree> connections(
        jack_port_get_all_connections(client.get(), port));
    if (!connections) {
        return false;
    }
    const std::string suffix = ":" + inputPortName;
    for (const char** name = connections.get(); *name != nullptr; ++name) {
        const std::string connected(*name);
        if (connected.starts_with(clientName) && connected.ends_with(suffix)) {
            return true;
        }
    }
    return false;
}

}  // namespace vireon::midi
