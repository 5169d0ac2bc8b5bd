// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <mutex>
#include <string>
#include <string_view>
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

}  // namespace vireon::testsupport
