// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "sounds/Sound.h"

namespace vireon::desktop {
class WindowEvents;
}  // namespace vireon::desktop

namespace vireon::ui {

class MainWindow;

/// The Sounds menu's file actions on the main window: sound files are opened and saved through
/// file dialogs, and a sound opened is chosen as a factory sound is (desktop::WindowEvents).
/// UI thread.
class SoundMenu {
  public:
    /// Dialogs open over `window`; `events` chooses what is opened and gives what is saved.
    SoundMenu(MainWindow& window, desktop::WindowEvents& events);

    /// Asks for a sound file and chooses it; a file that is refused changes nothing and a
    /// message says why.
    void open();

    /// Asks for a name, a description and a file, and saves the controls' positions there.
    void save();

    /// Where the file dialogs start: the user's sounds folder, or `folder` when given (tests).
    void setFolder(std::filesystem::path folder) { folder_ = std::move(folder); }

  private:
    MainWindow& window_;
    desktop::WindowEvents& events_;
    std::filesystem::path folder_;
};

}  // namespace vireon::ui
