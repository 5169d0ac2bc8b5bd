// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/RtMidiPorts.h"

#include <RtMidi.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "devices/midi/MidiSystems.h"
#include "devices/midi/RtMidiClient.h"
#include "devices/midi/RtMidiSupport.h"
#include "devices/servers/QuietSoundLibraries.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {

struct RtMidiPorts::State {
    /// One MIDI system and this program's client of it, when the system is there.
    struct System {
        RtMidi::Api api;
        std::unique_ptr<RtMidiClient> client;
    };

    /// A listed port: the system that has it and the name it had when listed.
    struct Entry {
        System* system;
        std::string name;
    };

    State(MidiReceiver& noteHandler, std::string name)
        : handler(noteHandler), clientName(std::move(name)) {}

    bool connect(System& system);
    std::optional<unsigned> currentPortIndex(System& system, const std::string& name);
    // Tells the handler that the open device has closed, after its last message.
    void tellClosed();
    bool verified(System& system, const std::string& name);

    MidiReceiver& handler;
    const std::string clientName;
    // Shared with RtMidi's threads: the gate to the handler, and how many errors RtMidi has
    // reported.
    MessageGate gate{handler};
    std::atomic<unsigned> errors{0};

    // Declared after the atomics so that the clients, whose threads use them, go first.
    std::array<System, 2> systems{System{RtMidi::LINUX_ALSA, nullptr},
                                  System{RtMidi::UNIX_JACK, nullptr}};
    std::vector<Entry> entries;
    System* openSystem = nullptr;
    // A client given up may still call back into this state, which is then never destroyed.
    bool clientAbandoned = false;
};

bool RtMidiPorts::State::connect(System& system) {
    system.client = RtMidiClient::connect(system.api, clientName, gate, &errors);
    return system.client != nullptr;
}

std::optional<unsigned> RtMidiPorts::State::currentPortIndex(System& system,
                                                             const std::string& name) {
    RtMidiIn& input = system.client->input();
    const unsigned count = input.getPortCount();
    for (unsigned port = 0; port < count; ++port) {
        if (input.getPortName(port) == name) {
            return port;
        }
    }
    return std::nullopt;
}

bool RtMidiPorts::State::verified(System& system, const std::string& name) {
    if (!system.client->input().isPortOpen()) {
        return false;
    }
    // RtMidi's JACK backend ignores a failed connection and reports the port open all the same.
    return system.api != RtMidi::UNIX_JACK || jackPortFeeds(name, clientName, kInputPortName);
}

RtMidiPorts::RtMidiPorts(MidiReceiver& handler, std::string clientName)
    : state_(std::make_unique<State>(handler, std::move(clientName))) {
    servers::silenceSoundLibraryMessages();
}

RtMidiPorts::~RtMidiPorts() {
    close();
    if (state_->clientAbandoned) {
        static_cast<void>(state_.release());
    }
}

int RtMidiPorts::deviceCount() {
    State& state = *state_;
    state.entries.clear();
    for (State::System& system : state.systems) {
        try {
            // A fresh client sees a server that has restarted since; the open one stays.
            if (&system != state.openSystem) {
                system.client.reset();
                if (!state.connect(system)) {
                    continue;
                }
            }
            RtMidiIn& input = system.client->input();
            const unsigned count = input.getPortCount();
            for (unsigned port = 0; port < count; ++port) {
                std::string name = input.getPortName(port);
                if (!name.empty()) {
                    state.entries.push_back({&system, std::move(name)});
                }
            }
        } catch (...) {
            // A system that fails while being listed contributes what it listed so far.
        }
        // RtMidi's JACK client takes part in every cycle of the server from its start, port or
        // no port: only an open device keeps one. open() makes a fresh one for its port.
        if (system.api == RtMidi::UNIX_JACK && &system != state.openSystem) {
            system.client.reset();
        }
    }
    return static_cast<int>(state.entries.size());
}

std::optional<std::string> RtMidiPorts::deviceName(int device) {
    const State& state = *state_;
    if (device < 0 || device >= static_cast<int>(state.entries.size())) {
        return std::nullopt;
    }
    return state.entries[static_cast<std::size_t>(device)].name;
}

bool RtMidiPorts::open(int device) {
    close();
    State& state = *state_;
    if (device < 0 || device >= static_cast<int>(state.entries.size())) {
        return false;
    }
    const State::Entry& entry = state.entries[static_cast<std::size_t>(device)];
    State::System& system = *entry.system;
    // A client left to a server that went away is replaced by a fresh one.
    if (!system.client && !state.connect(system)) {
        return false;
    }
    try {
        // The list is as old as the last deviceCount(); the port may have moved or gone.
        const std::optional<unsigned> port = state.currentPortIndex(system, entry.name);
        if (!port) {
            return false;
        }
        const unsigned errorsBefore = state.errors.load();
        system.client->input().openPort(*port, kInputPortName);
        if (state.errors.load() == errorsBefore && state.verified(system, entry.name)) {
            state.openSystem = &system;
            return true;
        }
    } catch (...) {
    }
    // Nothing has been let through yet (the gate is closed), so nothing needs to be told.
    try {
        system.client->input().closePort();
    } catch (...) {
    }
    return false;
}

bool RtMidiPorts::start() {
    State& state = *state_;
    try {
        if (state.openSystem == nullptr || !state.openSystem->client->input().isPortOpen()) {
            return false;
        }
    } catch (...) {
        return false;
    }
    state.gate.open();
    return true;
}

void RtMidiPorts::stop() {
    state_->gate.close();
}

void RtMidiPorts::close() {
    State& state = *state_;
    state.gate.close();
    if (state.openSystem == nullptr) {
        return;
    }
    if (!state.openSystem->client->closePort()) {
        // The next listing makes a fresh one.
        state.openSystem->client.reset();
        state.clientAbandoned = true;
    }
    state.openSystem = nullptr;
    state.tellClosed();
}

void RtMidiPorts::State::tellClosed() {
    // The close must come after the last message, or a note-on could reopen the engine's gate
    // that the close has just shut.
    gate.closeAndDrain();
    try {
        handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
    } catch (...) {
    }
}

bool RtMidiPorts::leftAClientBehind() const {
    return state_->clientAbandoned;
}

bool RtMidiPorts::forgetJackClients() {
    State& state = *state_;
    bool wasOpen = false;
    for (State::System& system : state.systems) {
        if (system.api != RtMidi::UNIX_JACK || !system.client) {
            continue;
        }
        wasOpen = state.openSystem == &system;
        if (wasOpen) {
            state.openSystem = nullptr;
        }
        system.client->giveUp();
        system.client.reset();
        state.clientAbandoned = true;
    }
    if (wasOpen) {
        state.tellClosed();
    }
    return wasOpen;
}

}  // namespace vireon::midi
