// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "live/ScopeTap.h"
#include "live/ScopeTrace.h"
#include "midi/ComputerKeyboard.h"
#include "win32/MainWindow.h"

namespace vireon::win32 {

class WasapiOutput;

/// The on-screen keyboard "Vireon keyboard" with its scope, for anyone without a MIDI keyboard:
/// two octaves and a top C of piano keys played with the mouse, and the computer keyboard while
/// the window has the focus (midi::ComputerKeyboard). Notes leave as MIDI messages for the same
/// note handling as MIDI input; losing the focus or closing the window ends every note it holds.
/// The scope shows what the output plays while the window is open. UI thread.
class KeyboardWindow {
  public:
    using NoteSender = std::function<void(std::uint32_t message)>;

    /// Sends notes to `send`; the scope watches `audio`, which must outlive the window.
    KeyboardWindow(NoteSender send, WasapiOutput& audio);
    ~KeyboardWindow();
    KeyboardWindow(const KeyboardWindow&) = delete;
    KeyboardWindow& operator=(const KeyboardWindow&) = delete;

    /// Opens the window (the first time) or brings it back, and gives it the keys.
    void show();

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<KeyboardWindow>(HWND, UINT, WPARAM, LPARAM);
    HWND handle() const { return window_; }
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc) const;
    /// The note under a point of the client area, or -1.
    int noteAt(int x, int y) const;
    void mouseNote(int note);
    void releaseAll();
    void hide();
    void redraw() const;

    NoteSender send_;
    WasapiOutput& audio_;
    midi::ComputerKeyboard computerKeys_;
    live::ScopeTap tap_;
    live::ScopeTrace trace_;
    HWND window_ = nullptr;
    int mouseNote_ = -1;
};

}  // namespace vireon::win32
