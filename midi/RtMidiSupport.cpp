#include "midi/RtMidiSupport.h"

#include <atomic>
#include <iostream>
#include <memory>
#include <system_error>
#include <thread>

#include "midi/MidiMessage.h"
#include "midi/MidiSystems.h"

namespace vireon::midi {
namespace {

// RtMidi hands over whole messages; only those of up to three bytes have the packed form the
// note handler decodes.
constexpr std::size_t kShortMessageBytes = 3;
constexpr std::chrono::milliseconds kClosePollInterval{1};

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
    return api == RtMidi::LINUX_ALSA ? alsaSequencerAvailable() : jackServerAvailable();
}

bool closePortWithin(RtMidiIn* input, std::chrono::milliseconds deadline) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto closePort = [input, done] {
        try {
            input->closePort();
        } catch (...) {
        }
        done->store(true);
    };
    std::thread closer;
    try {
        closer = std::thread(closePort);
    } catch (const std::system_error&) {
        // Without a thread to spare, close here and accept the risk of waiting.
        closePort();
        return true;
    }
    const auto giveUpAt = std::chrono::steady_clock::now() + deadline;
    while (!done->load()) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            closer.detach();
            return false;
        }
        std::this_thread::sleep_for(kClosePollInterval);
    }
    closer.join();
    return true;
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

}  // namespace vireon::midi
