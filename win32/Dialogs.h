// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <string>

namespace vireon::win32 {

class MainWindow;

/// Shows the About box, owned by `owner`, and returns when the user dismisses it. UI thread.
void showAbout(HWND owner);

/// Opens the help window and runs its loop until the user closes it. Everything the main window
/// reports meanwhile is dropped: the program answers nothing but the help window's close. UI
/// thread.
void showHelp(MainWindow& mainWindow);

/// Shows why no sound output could be opened, titled "PortAudio" like the audio library's own
/// fatal errors, with one sentence on what to do, and returns when the user dismisses it. UI
/// thread.
void showFatalAudioError(const std::string& reason);

}  // namespace vireon::win32
