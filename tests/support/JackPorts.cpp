// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/JackPorts.h"

#include <jack/jack.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>

namespace vireon::testsupport {
namespace {

struct ClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using Client = std::unique_ptr<jack_client_t, ClientCloser>;

Client openPatchbay(const std::string& serverName) {
    jack_status_t status{};
    const std::string name = "vireon-test-patchbay-" + std::to_string(::getpid());
    return Client(jack_client_open(name.c_str(),
                                   static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                   &status, serverName.c_str()));
}

}  // namespace

bool jackPortExists(const std::string& serverName, const std::string& name) {
    const Client client = openPatchbay(serverName);
    return client && jack_port_by_name(client.get(), name.c_str()) != nullptr;
}

bool connectJackPorts(const std::string& serverName, const std::string& source,
                      const std::string& destination, std::chrono::milliseconds timeout) {
    const Client client = openPatchbay(serverName);
    if (!client) {
        return false;
    }
    const auto giveUpAt = std::chrono::steady_clock::now() + timeout;
    while (jack_port_by_name(client.get(), source.c_str()) == nullptr ||
           jack_port_by_name(client.get(), destination.c_str()) == nullptr) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int result = jack_connect(client.get(), source.c_str(), destination.c_str());
    return result == 0 || result == EEXIST;
}

}  // namespace vireon::testsupport
