// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/Dialogs.h"

#include <richedit.h>

#include "text/ProgramTexts.h"
#include "win32/MainWindow.h"

namespace vireon::win32 {

namespace {

constexpr const char* kHelpWindowClass = "VireonHelpWindow";
constexpr int kHelpClientWidth = 620;
constexpr int kHelpClientHeight = 373;
constexpr int kTextMargin = 5;
constexpr int kTextWidth = 610;
constexpr int kTextHeight = 360;

// Set by the help window's procedure; the help loop runs on the UI thread only.
bool helpCloseRequested = false;

LRESULT CALLBACK helpWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        helpCloseRequested = true;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

/// The rich-edit class of the newest library found, or nothing.
const char* richEditClass() {
    if (::LoadLibraryA("RICHED20.DLL") != nullptr) {
        return "RichEdit20A";
    }
    if (::LoadLibraryA("RICHED32.DLL") != nullptr) {
        return "RichEdit";
    }
    return nullptr;
}

}  // namespace

void showAbout(HWND owner) {
    const std::string text(text::kAboutText);
    ::MessageBoxA(owner, text.c_str(), "About", MB_OK);
}

void showHelp(MainWindow& mainWindow) {
    HWND window = createFixedWindow(helpWindowProcedure, kHelpWindowClass, "Vireon Help",
                                    kHelpClientWidth, kHelpClientHeight, nullptr);
    if (window == nullptr) {
        return;
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    if (const char* className = richEditClass()) {
        HWND box = ::CreateWindowExA(WS_EX_CLIENTEDGE, className, "",
                                     WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY |
                                         ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
                                     kTextMargin, kTextMargin, kTextWidth, kTextHeight, window,
                                     nullptr, ::GetModuleHandleA(nullptr), nullptr);
        if (box != nullptr) {
            ::SendMessageA(box, EM_EXLIMITTEXT, 0, -1);
            ::SetWindowTextA(box, text::helpText().c_str());
        }
    }

    helpCloseRequested = false;
    MSG message;
    while (!helpCloseRequested) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // A quit request belongs to the main loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
        mainWindow.dropEvents();
    }
    ::DestroyWindow(window);
    mainWindow.dropEvents();
}

void showFatalAudioError(const std::string& reason) {
    const std::string text =
        reason +
        "\r\n\r\nConnect or switch on a sound output (speakers or headphones) and make it the "
        "default device in the Sound settings, then start Vireon again.";
    ::MessageBoxA(nullptr, text.c_str(), "PortAudio", MB_OK | MB_SETFOREGROUND);
}

}  // namespace vireon::win32
