// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "devices/midi/MidiPorts.h"

namespace vireon::midi {

/// Status-bar texts for the MIDI field.
inline constexpr const char* kMidiInText = "MIDI IN";
inline constexpr const char* kNoMidiInText = "No MIDI IN";

/// Chooses, opens and switches the one MIDI input device the synthesizer is played from, and
/// shows in the status bar whether input is working.
class MidiInput {
  public:
    MidiInput(MidiPorts& ports, DeviceListView& view);

    /// Fills the device list with the names of the devices whose name can be read, selects the
    /// first entry and chooses its device (none when the list is empty). Returns how many
    /// devices the system reports, named or not. Call once, after the window exists. UI thread.
    int listMidiDevices();

    /// Opens and starts the chosen device and shows the outcome. Call once, after
    /// listMidiDevices(). UI thread.
    void openMidiInput();

    /// Closes the device in use and opens and starts the one the selected entry names; called
    /// for every selection change the user makes, even back to the entry in use (a retry).
    /// UI thread.
    void switchMidiDevice();

    /// The JACK server has gone: when it carried the device in use, that device is closed and
    /// the status bar says so. There is no automatic retry; choosing the entry again reconnects
    /// once the port is back. UI thread.
    void jackServerLost();

    /// Stops and closes the device in use, so that no message reaches the window after it is
    /// gone. Call at shutdown, before the window is destroyed. UI thread.
    void closeMidiInput();

    /// The device number last opened or to be opened; -1 when there is none. UI thread.
    int deviceNumber() const { return deviceNumber_; }

  private:
    void openAndStart();

    MidiPorts& ports_;
    DeviceListView& view_;
    // Per list entry, the device it names. Devices whose name cannot be read have no entry,
    // so an entry's index is not its device number.
    std::vector<int> entryDevices_;
    int deviceNumber_ = 0;
};

}  // namespace vireon::midi
