// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/RtMidiClient.h"

#include <vector>

namespace vireon::midi {
namespace {

void receive(double /*timeStamp*/, std::vector<unsigned char>* message, void* gate) {
    static_cast<MessageGate*>(gate)->deliver(message);
}

void noteError(RtMidiError::Type type, const std::string& /*text*/, void* errors) {
    // May run on RtMidi's input thread too, hence only an atomic count.
    if (type != RtMidiError::DEBUG_WARNING) {
        static_cast<std::atomic<unsigned>*>(errors)->fetch_add(1);
    }
}

}  // namespace

std::unique_ptr<RtMidiClient> RtMidiClient::connect(RtMidi::Api api, const std::string& name,
                                                    MessageGate& gate,
                                                    std::atomic<unsigned>* errors) {
    if (!compiledIn(api) || !systemPresent(api)) {
        return nullptr;
    }
    try {
        std::unique_ptr<RtMidiIn> input;
        {
            const MutedStandardError muted;
            input = std::make_unique<RtMidiIn>(api, name);
        }
        if (errors != nullptr) {
            input->setErrorCallback(&noteError, errors);
        }
        input->ignoreTypes(true, false, false);
        input->setCallback(&receive, &gate);
        return std::unique_ptr<RtMidiClient>(new RtMidiClient(api, std::move(input)));
    } catch (...) {
        // The system went away between the question and the client.
        return nullptr;
    }
}

RtMidiClient::~RtMidiClient() = default;

bool RtMidiClient::closePort() {
    if (!input_) {
        return false;
    }
    if (closePortWithin(input_.get(), api_, kClosePortDeadline)) {
        return true;
    }
    giveUp();
    return false;
}

void RtMidiClient::giveUp() {
    static_cast<void>(input_.release());
}

}  // namespace vireon::midi
