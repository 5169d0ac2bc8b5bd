// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::ui {

/// Fixed numbers of the main window's controls, the same in every desktop face (Qt, Win32);
/// events carry them.
enum ControlId : int {
    kMidiDeviceList = 4,
    kAttackSlider = 5,
    kDecaySlider = 6,
    kSustainSlider = 7,
    kReleaseSlider = 8,
    kAttackLabel = 9,
    kSustainLabel = 10,
    kDecayLabel = 11,
    kReleaseLabel = 12,
    kBedlamValueText = 13,
    kHavocValueText = 14,
    kHavocSlider = 15,
    kBedlamSlider = 16,
    kDisorderSpin = 18,
    kDisorderLabel = 21,
    kHavocLabel = 22,
    kBedlamLabel = 23,
};

/// Menu item numbers, a numbering of their own. kMenuQuit comes from the Escape key.
enum MenuId : int {
    kMenuAbout = 1,
    kMenuHelp = 2,
    kMenuKeyboard = 3,
    kMenuOpenSound = 4,
    kMenuSaveSound = 5,
    kMenuPlaying = 6,
    kMenuQuit = 111,
    /// The Audio menu's two latencies.
    kMenuStandardLatency = 120,
    kMenuLowLatency = 121,
    /// The factory sounds, in their order: kMenuFirstSound + index.
    kMenuFirstSound = 200,
};

/// Status-bar fields.
enum StatusField : int {
    kMidiStatusField = 0,
    kNoteStatusField = 1,
    kAudioStatusField = 2,
};

/// What the audio field shows while no sound output is open; it is empty otherwise.
inline constexpr const char* kNoSoundMark = "!";

/// The program's windows, as named by close requests.
enum WindowId : int {
    kMainWindow = 0,
    kHelpWindow = 1,
};

}  // namespace vireon::ui
