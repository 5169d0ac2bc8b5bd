#include "midi/VirtualMidiInput.h"

#include <RtMidi.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "midi/MidiMessage.h"
#include "midi/MidiSystems.h"
#include "midi/RtMidiSupport.h"

namespace vireon::midi {

struct VirtualMidiInput::State {
    State(MidiNoteHandler& noteHandler, std::string name)
        : handler(noteHandler), clientName(std::move(name)) {}

    static void receive(double timeStamp, std::vector<unsigned char>* message, void* userData);

    MidiNoteHandler& handler;
    const std::string clientName;
    // Shared with RtMidi's threads: whether messages pass, and how many callbacks are inside
    // the handler right now.
    std::atomic<bool> flowing{false};
    std::atomic<int> handling{0};
    struct Client {
        RtMidi::Api api;
        std::unique_ptr<RtMidiIn> input;
    };
    // Declared after the atomics so that the clients, whose threads use them, go first.
    std::vector<Client> clients;
    // A client whose closing never finished may still call back into this state, which is then
    // never destroyed.
    bool clientAbandoned = false;
};

void VirtualMidiInput::State::receive(double /*timeStamp*/, std::vector<unsigned char>* message,
                                      void* userData) {
    auto& state = *static_cast<State*>(userData);
    // Counted before the flag is read, so that close() never misses a message on its way.
    state.handling.fetch_add(1);
    const std::optional<std::uint32_t> packed = packedShortMessage(message);
    if (state.flowing.load() && packed) {
        try {
            state.handler.onMidiMessage(MidiMessageKind::Data, *packed, 0);
        } catch (...) {
            // Nothing may unwind into the MIDI system's thread; the message is lost.
        }
    }
    state.handling.fetch_sub(1);
}

VirtualMidiInput::VirtualMidiInput(MidiNoteHandler& handler, std::string clientName)
    : state_(std::make_unique<State>(handler, std::move(clientName))) {
    silenceMidiSystemMessages();
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
        if (!compiledIn(api) || !systemPresent(api)) {
            continue;
        }
        try {
            std::unique_ptr<RtMidiIn> client;
            {
                const MutedStandardError muted;
                client = std::make_unique<RtMidiIn>(api, state.clientName);
            }
            client->ignoreTypes(true, false, false);
            client->setCallback(&State::receive, &state);
            client->openVirtualPort(kPortName);
            state.clients.push_back({api, std::move(client)});
        } catch (...) {
            // The system went away between the question and the client: it offers nothing.
        }
    }
    state.flowing.store(true);
    return static_cast<int>(state.clients.size());
}

void VirtualMidiInput::close() {
    State& state = *state_;
    state.flowing.store(false);
    if (state.clients.empty()) {
        return;
    }
    for (State::Client& client : state.clients) {
        // Touching a JACK client whose server has vanished can crash inside libjack; the client
        // is dead anyway, and its memory is all it still holds. Asking a stopped server hangs
        // just like closing on it, so both happen on the helper, within the deadline.
        RtMidiIn* const input = client.input.get();
        const bool askServer = client.api == RtMidi::UNIX_JACK;
        auto serverGone = std::make_shared<std::atomic<bool>>(false);
        const bool finished = runWithin(
            [input, askServer, serverGone] {
                if (askServer && !jackServerAvailable()) {
                    serverGone->store(true);
                    return;
                }
                input->closePort();
            },
            kClosePortDeadline);
        if (!finished || serverGone->load()) {
            static_cast<void>(client.input.release());
            state.clientAbandoned = true;
        }
    }
    state.clients.clear();
    // A callback that saw the flag still set may be inside the handler; the close must come
    // after its message, or a note-on could reopen the gate that the close has just shut.
    while (state.handling.load() != 0) {
        std::this_thread::yield();
    }
    state.handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
}

int VirtualMidiInput::openSystems() const {
    return static_cast<int>(state_->clients.size());
}

}  // namespace vireon::midi
