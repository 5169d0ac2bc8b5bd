// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace vireon::desktop {
class WindowEvents;
}  // namespace vireon::desktop

namespace vireon::win32 {

class MainWindow;

/// The Sounds menu's file entries: a sound file opened through the common Open dialog is chosen
/// as a factory sound is; "Save sound…" asks for a name and a description, then for a file
/// through the common Save dialog. Both start in the user's sounds folder. A file refused or
/// not written changes nothing, and a message box says why. UI thread.
class SoundFiles {
  public:
    SoundFiles(MainWindow& window, desktop::WindowEvents& events);

    void open();
    void save();

  private:
    MainWindow& window_;
    desktop::WindowEvents& events_;
    std::filesystem::path folder_;
};

}  // namespace vireon::win32
