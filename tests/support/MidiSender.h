#pragma once

#include <RtMidi.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "midi/MidiNoteHandler.h"

// Header only: the test programs that use it link RtMidi themselves.
namespace vireon::testsupport {

/// Another program's MIDI output port on the JACK server.
class JackMidiSender {
  public:
    JackMidiSender(const std::string& client, const std::string& port)
        : out_(RtMidi::UNIX_JACK, client), name_(client + ":" + port) {
        out_.openVirtualPort(port);
    }
    void send(std::vector<unsigned char> bytes) { out_.sendMessage(&bytes); }
    /// The port's full name, "client:port".
    const std::string& portName() const { return name_; }

  private:
    RtMidiOut out_;
    std::string name_;
};

/// The note status texts as the handler reports them, from whichever thread.
class RecordingSink final : public midi::StatusSink {
  public:
    void reportNoteStatus(std::string_view text) override {
        const std::lock_guard lock(mutex_);
        texts_.emplace_back(text);
    }
    std::vector<std::string> texts() const {
        const std::lock_guard lock(mutex_);
        return texts_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

/// Polls `condition` every millisecond for up to 5 s.
inline bool waitUntil(const std::function<bool()>& condition) {
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= giveUpAt) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vireon::testsupport
