// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "devices/midi/MidiPorts.h"

namespace vireon::ui {

class MainWindow;

/// The main window's device list and MIDI status field, as MIDI input sees them. UI thread.
class WindowDeviceList final : public midi::DeviceListView {
  public:
    explicit WindowDeviceList(MainWindow& window) : window_(window) {}

    void addListItem(const std::string& text) override;
    void selectIndex(int index) override;
    int selectedIndex() const override;
    bool hasStatusBar() const override;
    void setMidiStatusText(const std::string& text) override;

  private:
    MainWindow& window_;
};

}  // namespace vireon::ui
