// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/RtMidiSupport.h"

#include <atomic>
#include <iostream>
#include <memory>
#include <thread>

#include "devices/midi/MidiSystems.h"
#include "devices/servers/CallWithin.h"
#include "devices/servers/JackProbe.h"
#include "midi/MidiMessage.h"

namespace vireon::midi {
namespace {

// RtMidi hands over whole messages; only those of up to three bytes have the packed form the
// note handler decodes.
constexpr std::size_t kShortMessageBytes = 3;

}  // namespace

MutedStandardError::MutedStandardError() : saved_(std::cerr.rdbuf(nullptr)) {}

MutedStandardError::~MutedStandardError() {
    std::cerr.rdbuf(saved_);
}

bool compiledIn(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const RtMidi::Api compiled : apis) {
        if (compiled == api) {
            return true;
        }
    }
    return false;
}

bool systemPresent(RtMidi::Api api) {
    return api == RtMidi::LINUX_ALSA ? alsaSequencerAvailable() : servers::jackServerReachable();
}

bool closePortWithin(RtMidiIn* input, RtMidi::Api api, std::chrono::milliseconds deadline) {
    // Asking a stopped server hangs just like closing on it, so both happen on the helper.
    auto serverGone = std::make_shared<std::atomic<bool>>(false);
    const bool finished = servers::callWithin(
        [input, askServer = api == RtMidi::UNIX_JACK, serverGone] {
            if (askServer && !servers::jackServerReachable()) {
                serverGone->store(true);
                return;
            }
            input->closePort();
        },
        deadline);
    return finished && !serverGone->load();
}

std::optional<std::uint32_t> packedShortMessage(const std::vector<unsigned char>* message) {
    if (message == nullptr || message->empty() || message->size() > kShortMessageBytes) {
        return std::nullopt;
    }
    const std::uint8_t status = (*message)[0];
    const std::uint8_t data1 = message->size() > 1 ? (*message)[1] : 0;
    const std::uint8_t data2 = message->size() > 2 ? (*message)[2] : 0;
    return packShortMessage(status, data1, data2);
}

void MessageGate::closeAndDrain() {
    flowing_.store(false);
    while (handling_.load() != 0) {
        std::this_thread::yield();
    }
}

void MessageGate::deliver(const std::vector<unsigned char>* message) {
    // Counted before the flag is read, so that closeAndDrain(), which clears the flag and then
    // waits for the count to reach 0, never misses a message on its way to the handler.
    handling_.fetch_add(1);
    const std::optional<std::uint32_t> packed = packedShortMessage(message);
    if (flowing_.load() && packed) {
        try {
            handler_.onMidiMessage(MidiMessageKind::Data, *packed, 0);
        } catch (...) {
            // An exception must not unwind into the MIDI system's thread; the message is lost.
        }
    }
    handling_.fetch_sub(1);
}

}  // namespace vireon::midi
