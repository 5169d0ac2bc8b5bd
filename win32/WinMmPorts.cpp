// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/WinMmPorts.h"

#include <cstring>

namespace vireon::win32 {

WinMmPorts::~WinMmPorts() {
    stop();
    close();
}

int WinMmPorts::deviceCount() {
    return static_cast<int>(::midiInGetNumDevs());
}

std::optional<std::string> WinMmPorts::deviceName(int device) {
    MIDIINCAPSA capabilities{};
    if (device < 0 || ::midiInGetDevCapsA(static_cast<UINT_PTR>(device), &capabilities,
                                          sizeof capabilities) != MMSYSERR_NOERROR) {
        return std::nullopt;
    }
    // A driver may fill all 32 bytes without an ending NUL.
    return std::string(capabilities.szPname,
                       strnlen(capabilities.szPname, sizeof capabilities.szPname));
}

bool WinMmPorts::open(int device) {
    close();
    if (device < 0) {
        return false;
    }
    HMIDIIN handle = nullptr;
    if (::midiInOpen(&handle, static_cast<UINT>(device),
                     reinterpret_cast<DWORD_PTR>(&WinMmPorts::onMidiInput),
                     reinterpret_cast<DWORD_PTR>(&receiver_),
                     CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        return false;
    }
    handle_ = handle;
    return true;
}

bool WinMmPorts::start() {
    return handle_ != nullptr && ::midiInStart(handle_) == MMSYSERR_NOERROR;
}

void WinMmPorts::stop() {
    if (handle_ != nullptr) {
        ::midiInStop(handle_);
    }
}

void WinMmPorts::close() {
    if (handle_ != nullptr) {
        // WinMM sends MIM_CLOSE from within, which ends the notes the device held.
        ::midiInClose(handle_);
        handle_ = nullptr;
    }
}

void CALLBACK WinMmPorts::onMidiInput(HMIDIIN /*handle*/, UINT message, DWORD_PTR instance,
                                      DWORD_PTR param1, DWORD_PTR param2) {
    if ((message != MIM_DATA && message != MIM_CLOSE) || instance == 0) {
        return;
    }
    auto* receiver = reinterpret_cast<midi::MidiReceiver*>(instance);
    receiver->onMidiMessage(static_cast<midi::MidiMessageKind>(message),
                            static_cast<std::uint32_t>(param1), static_cast<std::uint32_t>(param2));
}

}  // namespace vireon::win32
