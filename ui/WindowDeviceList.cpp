// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowDeviceList.h"

#include "controls/WindowNumbers.h"
#include "ui/MainWindow.h"

namespace vireon::ui {

void WindowDeviceList::addListItem(const std::string& text) {
    window_.addListItem(kMidiDeviceList, text);
}

void WindowDeviceList::selectIndex(int index) {
    window_.selectIndex(kMidiDeviceList, index);
}

int WindowDeviceList::selectedIndex() const {
    return window_.selectedIndex(kMidiDeviceList);
}

bool WindowDeviceList::hasStatusBar() const {
    return window_.hasStatusBar();
}

void WindowDeviceList::setMidiStatusText(const std::string& text) {
    window_.setStatusText(kMidiStatusField, text);
}

}  // namespace vireon::ui
