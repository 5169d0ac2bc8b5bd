#include "midi/MidiSystems.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <unistd.h>

#include <memory>

namespace vireon::midi {
namespace {

// libjack names a client's socket after the client alone, not after its server: two
// processes that open clients of one name at the same moment, even on different servers, can
// make each other's open fail. The process id keeps this short-lived client's name our own.
std::string probeClientName() {
    return "Vireon probe " + std::to_string(::getpid());
}

void ignoreAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
                       const char* /*format*/, ...) {}

void ignoreJackMessage(const char* /*message*/) {}

struct JackClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using JackClient = std::unique_ptr<jack_client_t, JackClientCloser>;

JackClient openProbeClient() {
    jack_status_t status{};
    return JackClient(jack_client_open(probeClientName().c_str(), JackNoStartServer, &status));
}

struct JackFree {
    void operator()(const char** names) const { jack_free(static_cast<void*>(names)); }
};

}  // namespace

void silenceMidiSystemMessages() {
    snd_lib_error_set_handler(ignoreAlsaMessage);
    jack_set_error_function(ignoreJackMessage);
    jack_set_info_function(ignoreJackMessage);
}

bool alsaSequencerAvailable() {
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, 0) < 0) {
        return false;
    }
    snd_seq_close(sequencer);
    return true;
}

bool jackServerAvailable() {
    return openProbeClient() != nullptr;
}

bool jackPortFeeds(const std::string& source, const std::string& clientName,
                   const std::string& inputPortName) {
    const JackClient client = openProbeClient();
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
