// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <optional>
#include <string>

#include "devices/midi/MidiPorts.h"
#include "midi/MidiMessage.h"

namespace vireon::win32 {

/// WinMM's MIDI input devices, for MidiInput: the open device's short messages and its close go
/// to the receiver (the live instrument's queue) straight from WinMM's callback. UI thread,
/// except for the callback.
class WinMmPorts final : public midi::MidiPorts {
  public:
    /// Delivers to `receiver`, which must outlive the ports.
    explicit WinMmPorts(midi::MidiReceiver& receiver) : receiver_(receiver) {}
    ~WinMmPorts();
    WinMmPorts(const WinMmPorts&) = delete;
    WinMmPorts& operator=(const WinMmPorts&) = delete;

    int deviceCount() override;
    std::optional<std::string> deviceName(int device) override;
    bool open(int device) override;
    bool start() override;
    void stop() override;
    void close() override;

    /// WinMM's input callback, registered with every open (CALLBACK_FUNCTION); `instance` is the
    /// receiver. Short messages and the device's close are passed on; anything else is not
    /// Vireon's. WinMM's thread: it only queues, so it never waits.
    static void CALLBACK onMidiInput(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                     DWORD_PTR param1, DWORD_PTR param2);

  private:
    midi::MidiReceiver& receiver_;
    HMIDIIN handle_ = nullptr;
};

}  // namespace vireon::win32
