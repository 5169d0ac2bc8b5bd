// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "sounds/Sound.h"

namespace vireon::ui {

class EventSource;
class MainWindow;
class PlayingWindow;

/// The Sounds menu's actions on the main window: a chosen sound moves the controls the way the
/// user would, so the event loop applies it like any other move; sound files are opened and
/// saved through file dialogs. UI thread.
class SoundMenu {
  public:
    /// `disorderInEffect` is the Disorder number the sound of this run was started with.
    SoundMenu(MainWindow& window, PlayingWindow& playing, EventSource& events,
              std::int64_t disorderInEffect);

    /// Moves every slider, the playing controls and the Disorder box to the sound's positions,
    /// posting an event for each slider that moved, as a move by the user does, and says in the
    /// status bar when the sound's Disorder only takes effect at the next start.
    void choose(const sounds::Sound& sound);

    /// Asks for a sound file and chooses it; a file that is refused changes nothing and a
    /// message says why.
    void open();

    /// Asks for a name, a description and a file, and saves the controls' positions there.
    void save();

    /// Where the file dialogs start: the user's sounds folder, or `folder` when given (tests).
    void setFolder(std::filesystem::path folder) { folder_ = std::move(folder); }

  private:
    sounds::Sound current() const;

    MainWindow& window_;
    PlayingWindow& playing_;
    EventSource& events_;
    std::int64_t disorderInEffect_;
    std::filesystem::path folder_;
    /// The name and description of the sound last chosen, opened or saved.
    std::string name_;
    std::string description_;
};

}  // namespace vireon::ui
