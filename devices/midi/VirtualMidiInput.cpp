// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/VirtualMidiInput.h"

#include <atomic>
#include <memory>
#include <vector>

#include "devices/midi/RtMidiClient.h"
#include "devices/midi/RtMidiSupport.h"
#include "devices/servers/QuietSoundLibraries.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {

struct VirtualMidiInput::State {
    State(MidiReceiver& noteHandler, std::string name)
        : handler(noteHandler), clientName(std::move(name)) {}

    MidiReceiver& handler;
    const std::string clientName;
    // Shared with RtMidi's threads.
    MessageGate gate{handler};
    // Declared after the gate so that the clients, whose threads use them, go first.
    std::vector<std::unique_ptr<RtMidiClient>> clients;
    // A client given up may still call back into this state, which is then never destroyed.
    bool clientAbandoned = false;
    bool offerOnJack = true;
};

VirtualMidiInput::VirtualMidiInput(MidiReceiver& handler, std::string clientName)
    : state_(std::make_unique<State>(handler, std::move(clientName))) {
    servers::silenceSoundLibraryMessages();
}

VirtualMidiInput::~VirtualMidiInput() {
    close();
    if (state_->clientAbandoned) {
        static_cast<void>(state_.release());
    }
}

int VirtualMidiInput::open() {
    close();
    State& state = *state_;
    for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        if (api == RtMidi::UNIX_JACK && !state.offerOnJack) {
            continue;
        }
        std::unique_ptr<RtMidiClient> client =
            RtMidiClient::connect(api, state.clientName, state.gate);
        if (!client) {
            continue;
        }
        try {
            client->input().openVirtualPort(kPortName);
            state.clients.push_back(std::move(client));
        } catch (...) {
            // The system went away between the client and the port: it offers nothing.
        }
    }
    state.gate.open();
    return static_cast<int>(state.clients.size());
}

void VirtualMidiInput::offerOnJack(bool offer) {
    state_->offerOnJack = offer;
}

void VirtualMidiInput::close() {
    State& state = *state_;
    state.gate.close();
    if (state.clients.empty()) {
        return;
    }
    for (const std::unique_ptr<RtMidiClient>& client : state.clients) {
        if (!client->closePort()) {
            state.clientAbandoned = true;
        }
    }
    state.clients.clear();
    // The close must come after the last message, or a note-on could reopen the engine's gate
    // that the close has just shut.
    state.gate.closeAndDrain();
    state.handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
}

int VirtualMidiInput::openSystems() const {
    return static_cast<int>(state_->clients.size());
}

bool VirtualMidiInput::offersJack() const {
    for (const std::unique_ptr<RtMidiClient>& client : state_->clients) {
        if (client->api() == RtMidi::UNIX_JACK) {
            return true;
        }
    }
    return false;
}

bool VirtualMidiInput::leftAClientBehind() const {
    return state_->clientAbandoned;
}

void VirtualMidiInput::forgetJackClient() {
    State& state = *state_;
    bool forgotten = false;
    for (auto client = state.clients.begin(); client != state.clients.end();) {
        if ((*client)->api() != RtMidi::UNIX_JACK) {
            ++client;
            continue;
        }
        // Its thread ended with the server, so no callback of it can still come.
        (*client)->giveUp();
        state.clientAbandoned = true;
        client = state.clients.erase(client);
        forgotten = true;
    }
    if (forgotten) {
        state.gate.closeAndDrain();
        state.handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
        // The other systems' ports go on playing.
        if (!state.clients.empty()) {
            state.gate.open();
        }
    }
}

}  // namespace vireon::midi
