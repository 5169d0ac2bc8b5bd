// SPDX-License-Identifier: GPL-3.0-or-later
// Reports what the running program's main window shows, from another process, for the tests'
// shell harness, and hands it a close request: only queries that Windows carries across processes
// (texts, positions, counts).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "controls/WindowNumbers.h"

namespace {

using namespace vireon::ui;

std::string textOf(HWND window) {
    // Not GetWindowText, which gives another process's edit field's caption, not its text.
    char text[256] = {};
    ::SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    // `close TITLE`: the close request that the close box, the system menu and Alt+F4 give,
    // which keys cannot reach without a window manager.
    if (argc == 3 && std::string(argv[1]) == "close") {
        HWND window = ::FindWindowA(nullptr, argv[2]);
        return window != nullptr && ::PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    HWND main = ::FindWindowA("VireonMainWindow", "Vireon");
    if (main == nullptr) {
        std::puts("no window");
        return 1;
    }
    for (const int id :
         {kBedlamValueText, kHavocValueText, kDisorderSpin, kDisorderLabel, kHavocLabel,
          kBedlamLabel, kAttackLabel, kDecayLabel, kSustainLabel, kReleaseLabel}) {
        std::printf("text %d %s\n", id, textOf(::GetDlgItem(main, id)).c_str());
    }
    // Raw trackbar positions count from the top.
    for (const int id : {kAttackSlider, kDecaySlider, kSustainSlider, kReleaseSlider, kHavocSlider,
                         kBedlamSlider}) {
        HWND slider = ::GetDlgItem(main, id);
        std::printf("slider %d %ld %ld %ld\n", id,
                    static_cast<long>(::SendMessageA(slider, TBM_GETPOS, 0, 0)),
                    static_cast<long>(::SendMessageA(slider, TBM_GETRANGEMIN, 0, 0)),
                    static_cast<long>(::SendMessageA(slider, TBM_GETRANGEMAX, 0, 0)));
    }
    HWND list = ::GetDlgItem(main, kMidiDeviceList);
    std::printf("list %ld %ld\n", static_cast<long>(::SendMessageA(list, CB_GETCOUNT, 0, 0)),
                static_cast<long>(::SendMessageA(list, CB_GETCURSEL, 0, 0)));
    // A status bar's own text is its first field's; of the note field only the length crosses
    // processes, which is enough to tell its texts apart.
    HWND statusBar = ::FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr);
    std::printf("status %s\n", textOf(statusBar).c_str());
    const int noteLength = LOWORD(::SendMessageA(statusBar, SB_GETTEXTLENGTHA, 1, 0));
    std::printf("note %s\n", noteLength == 0   ? "none"
                             : noteLength == 3 ? "On"
                             : noteLength == 4 ? "Off"
                                               : "?");
    // The message area's text: its length, which tells the program's messages apart.
    std::printf("message %d\n", LOWORD(::SendMessageA(statusBar, SB_GETTEXTLENGTHA, 3, 0)));
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &thread);
    HWND focus = thread.hwndFocus;
    while (focus != nullptr && ::GetParent(focus) != main) {
        focus = ::GetParent(focus);
    }
    std::printf("focus %d\n", focus == nullptr ? 0 : ::GetDlgCtrlID(focus));
    std::printf("enabled %d\n", ::IsWindowEnabled(main) ? 1 : 0);
    // The help window's text: its characters and lines. The box hands out each line break as
    // CR LF; the LFs are its own.
    if (HWND help = ::FindWindowA("VireonHelpWindow", "Vireon Help")) {
        char text[2048] = {};
        ::SendMessageA(::GetWindow(help, GW_CHILD), WM_GETTEXT, sizeof text,
                       reinterpret_cast<LPARAM>(text));
        int characters = 0;
        int lines = 1;
        for (const char c : std::string(text)) {
            characters += c == '\n' ? 0 : 1;
            lines += c == '\r' ? 1 : 0;
        }
        std::printf("help %d %d\n", characters, lines);
    }
    // The Audio menu's entries: whether checked, and their text.
    if (HMENU audio = ::GetSubMenu(::GetMenu(main), 3)) {
        for (const int id : {kMenuStandardLatency, kMenuLowLatency}) {
            char text[64] = {};
            ::GetMenuStringA(audio, id, text, sizeof text, MF_BYCOMMAND);
            std::printf("latency %d %d %s\n", id,
                        (::GetMenuState(audio, id, MF_BYCOMMAND) & MF_CHECKED) != 0 ? 1 : 0, text);
        }
    }
    // The Playing window's controls, numbered 300 + their ControlId: a trackbar's position, or a
    // drop-down list's selection.
    if (HWND playing = ::FindWindowA("VireonPlayingWindow", "Playing")) {
        for (int id = 300; id < 320; ++id) {
            if (HWND item = ::GetDlgItem(playing, id)) {
                const bool list = ::SendMessageA(item, CB_GETCOUNT, 0, 0) > 0;
                std::printf("playing %d %ld\n", id,
                            static_cast<long>(
                                ::SendMessageA(item, list ? CB_GETCURSEL : TBM_GETPOS, 0, 0)));
            }
        }
    }
    RECT client{};
    ::GetClientRect(main, &client);
    std::printf("client %ld %ld\n", client.right, client.bottom);
    return 0;
}
