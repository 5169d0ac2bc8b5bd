// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <optional>

#include "controls/Controls.h"
#include "win32/MainWindow.h"

namespace vireon::win32 {

/// The "Playing" window: the playing controls of the table (fade, velocity, bend, glide, pedal,
/// priority), one row each, made from their descriptions: a trackbar with its value for a
/// control that counts, a drop-down list of names for a switch. Every move by the user, or by
/// setPosition, goes straight to the sound; each control offers MIDI learn in its context menu.
/// Made hidden; closing it hides it again. UI thread.
class PlayingWindow {
  public:
    /// Where the controls' moves go, each as it happens, whichever loop runs.
    using Move = std::function<void(controls::ControlId control, int position)>;

    /// `post` takes the controller menus' events.
    PlayingWindow(Move move, PostEvent post);
    ~PlayingWindow();
    PlayingWindow(const PlayingWindow&) = delete;
    PlayingWindow& operator=(const PlayingWindow&) = delete;

    /// Shows the window and gives it the keys.
    void show();

    /// The position of a playing control; 0 for any other control.
    int position(controls::ControlId control) const;
    /// Moves a playing control, held within its range, and with it the sound.
    void setPosition(controls::ControlId control, int position);
    /// Shows where a MIDI controller has moved `control`, without moving the sound again.
    void showControllerMove(controls::ControlId control, int position);
    /// Remembers which controller moves `control`, for its context menu.
    void showController(controls::ControlId control, std::optional<int> controller);

    /// Tab among the controls, as in a dialog: true when `message` was handled.
    bool preTranslate(MSG& message);

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<PlayingWindow>(HWND, UINT, WPARAM, LPARAM);
    HWND handle() const { return window_; }
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND item(controls::ControlId control) const;
    void showValue(controls::ControlId control);
    /// Puts the position in the control without any notification.
    void place(controls::ControlId control, int position);

    Move move_;
    PostEvent post_;
    HWND window_ = nullptr;
    std::array<std::optional<int>, controls::kControlCount> controllers_{};
};

}  // namespace vireon::win32
