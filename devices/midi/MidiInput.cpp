// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/midi/MidiInput.h"

#include <optional>

namespace vireon::midi {
namespace {

constexpr int kNoDevice = -1;

}  // namespace

MidiInput::MidiInput(MidiPorts& ports, DeviceListView& view) : ports_(ports), view_(view) {}

int MidiInput::listMidiDevices() {
    const int count = ports_.deviceCount();
    entryDevices_.clear();
    for (int device = 0; device < count; ++device) {
        if (const std::optional<std::string> name = ports_.deviceName(device)) {
            view_.addListItem(*name);
            entryDevices_.push_back(device);
        }
    }
    // The first entry is shown as the device in use, so it is the one that is opened, even
    // when the first device's name could not be read.
    if (entryDevices_.empty()) {
        deviceNumber_ = kNoDevice;
    } else {
        view_.selectIndex(0);
        deviceNumber_ = entryDevices_.front();
    }
    return count;
}

void MidiInput::openMidiInput() {
    openAndStart();
}

void MidiInput::switchMidiDevice() {
    ports_.stop();
    ports_.close();
    const int entry = view_.selectedIndex();
    deviceNumber_ = entry >= 0 && entry < static_cast<int>(entryDevices_.size())
                        ? entryDevices_[static_cast<std::size_t>(entry)]
                        : kNoDevice;
    openAndStart();
}

void MidiInput::jackServerLost() {
    if (ports_.forgetJackClients() && view_.hasStatusBar()) {
        view_.setMidiStatusText(kNoMidiInText);
    }
}

void MidiInput::closeMidiInput() {
    ports_.stop();
    ports_.close();
}

void MidiInput::openAndStart() {
    const bool working = ports_.open(deviceNumber_) && ports_.start();
    if (view_.hasStatusBar()) {
        view_.setMidiStatusText(working ? kMidiInText : kNoMidiInText);
    }
}

}  // namespace vireon::midi
