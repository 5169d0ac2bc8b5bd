// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace vireon::midi {

/// The platform's MIDI input devices, numbered from 0 in a fixed order, as MidiInput uses them.
/// A backend delivers every short message of the open device to the note handler it was made
/// with, on a thread of its own, and reports the device's close to it. UI thread.
class MidiPorts {
  public:
    /// How many input devices the system reports now.
    virtual int deviceCount() = 0;

    /// The name of device `device`, or nothing when the query fails.
    virtual std::optional<std::string> deviceName(int device) = 0;

    /// Opens device `device` for input. False when there is no such device or it cannot be
    /// opened; nothing is open afterwards then.
    virtual bool open(int device) = 0;

    /// Lets messages flow from the open device. False when no device is open or it will not
    /// deliver.
    virtual bool start() = 0;

    /// Stops the flow of messages; harmless when nothing is open.
    virtual void stop() = 0;

    /// Closes the open device, which tells the note handler (all held notes end); harmless
    /// when nothing is open.
    virtual void close() = 0;

    /// The JACK server has gone, and every JACK client of the process with it; none of them may
    /// be touched again (see audio::JackServerWatch). Lets go of the backend's without a call to
    /// the server; listing or opening makes fresh ones. When the open device was on JACK it
    /// counts as closed (the note handler is told) and the result is true. A backend without
    /// JACK clients has nothing to let go of.
    virtual bool forgetJackClients() { return false; }

    /// Whether a close did not finish in time and left a client to a helper thread that may
    /// still be inside the MIDI system: the process must then end without static clean-up.
    virtual bool leftAClientBehind() const { return false; }

  protected:
    ~MidiPorts() = default;
};

/// What MidiInput needs of the window: the device list and the status bar's MIDI field.
/// UI thread.
class DeviceListView {
  public:
    virtual void addListItem(const std::string& text) = 0;
    virtual void selectIndex(int index) = 0;
    /// The selected entry, or -1 when none is.
    virtual int selectedIndex() const = 0;
    virtual bool hasStatusBar() const = 0;
    /// Shows "MIDI IN" or "No MIDI IN" in the status bar's MIDI field.
    virtual void setMidiStatusText(const std::string& text) = 0;

  protected:
    ~DeviceListView() = default;
};

}  // namespace vireon::midi
