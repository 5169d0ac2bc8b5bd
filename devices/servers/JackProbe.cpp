// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/JackProbe.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace vireon::servers {
namespace {

// libjack names a client's socket after the client alone, not after its server: two clients of
// one name opened at the same moment, even by different processes on different servers, can
// make each other's open fail. The process id and a count keep each probe's name its own, also
// when two threads of this process probe at once.
std::string probeClientName() {
    static std::atomic<unsigned> count{0};
    return "Vireon probe " + std::to_string(::getpid()) + "-" + std::to_string(count++);
}

}  // namespace

JackClient openJackProbe() {
    jack_status_t status{};
    return JackClient(jack_client_open(probeClientName().c_str(), JackNoStartServer, &status));
}

bool jackServerReachable() {
    return openJackProbe() != nullptr;
}

}  // namespace vireon::servers
