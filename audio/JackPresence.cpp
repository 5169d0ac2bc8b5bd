#include "audio/JackPresence.h"

#include <jack/jack.h>

namespace vireon::audio {

bool jackServerReachable() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("vireon-check", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

}  // namespace vireon::audio
