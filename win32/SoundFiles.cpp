// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/SoundFiles.h"

#include <windows.h>

#include <commdlg.h>

#include <array>
#include <optional>
#include <string>
#include <variant>

#include "desktop/WindowEvents.h"
#include "settings/Platform.h"
#include "sounds/SoundFile.h"
#include "win32/MainWindow.h"

namespace vireon::win32 {
namespace {

constexpr const char* kNameWindowClass = "VireonSoundNameWindow";
constexpr int kNameClientWidth = 360;
constexpr int kNameClientHeight = 110;
constexpr int kNameField = 101;
constexpr int kDescriptionField = 102;
// What the common dialogs take at most, terminator included.
constexpr DWORD kPathCharacters = 32768;

std::string narrowText(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          size, nullptr, nullptr);
    return narrow;
}

std::wstring fieldText(HWND field) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string trimmed(std::string text) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The name dialog's outcome, set by its procedure; the dialog runs on the UI thread only.
int nameDialogResult = 0;

LRESULT CALLBACK nameWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        nameDialogResult = LOWORD(wParam);
        return 0;
    }
    if (message == WM_CLOSE) {
        nameDialogResult = IDCANCEL;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

HWND addChild(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
              DWORD extendedStyle, int id, int x, int y, int width, int height) {
    HWND child = ::CreateWindowExW(extendedStyle, className, text.c_str(),
                                   WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (child != nullptr) {
        ::SendMessageW(child, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    }
    return child;
}

/// Asks for a sound's name and description in a small modal window; false when the user
/// cancels. The main window answers nothing meanwhile.
bool askNameAndDescription(MainWindow& mainWindow, std::string& name, std::string& description) {
    HWND window = createFixedWindow(nameWindowProcedure, kNameWindowClass, "Save sound",
                                    kNameClientWidth, kNameClientHeight, nullptr);
    if (window == nullptr) {
        return false;
    }
    addChild(window, L"STATIC", L"Name:", SS_LEFT, 0, 0, 10, 13, 80, 20);
    HWND nameField = addChild(window, L"EDIT", wideText(name), ES_AUTOHSCROLL | WS_TABSTOP,
                              WS_EX_CLIENTEDGE, kNameField, 90, 10, 260, 22);
    addChild(window, L"STATIC", L"Description:", SS_LEFT, 0, 0, 10, 43, 80, 20);
    HWND descriptionField =
        addChild(window, L"EDIT", wideText(description), ES_AUTOHSCROLL | WS_TABSTOP,
                 WS_EX_CLIENTEDGE, kDescriptionField, 90, 40, 260, 22);
    addChild(window, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK, 190, 75, 75, 25);
    addChild(window, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL, 275, 75, 75,
             25);
    // Characters, which are at most as many as the bytes the file allows; the check after the
    // dialog counts the bytes.
    ::SendMessageW(nameField, EM_SETLIMITTEXT, sounds::kMaxNameBytes, 0);
    ::SendMessageW(descriptionField, EM_SETLIMITTEXT, sounds::kMaxDescriptionBytes, 0);
    ::EnableWindow(mainWindow.handle(), FALSE);
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SetFocus(nameField);
    ::SendMessageW(nameField, EM_SETSEL, 0, -1);

    nameDialogResult = 0;
    MSG message;
    while (nameDialogResult == 0) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // A quit request belongs to the main loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            nameDialogResult = IDCANCEL;
            break;
        }
        // Tab, Enter (OK) and Escape (Cancel) as in any dialog.
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    name = trimmed(narrowText(fieldText(nameField)));
    description = trimmed(narrowText(fieldText(descriptionField)));
    ::EnableWindow(mainWindow.handle(), TRUE);
    ::DestroyWindow(window);
    ::SetActiveWindow(mainWindow.handle());
    mainWindow.dropEvents();
    return nameDialogResult == IDOK;
}

/// A file name made from a sound's name: what the Save dialog proposes. Characters Windows does
/// not allow in names become '-'.
std::wstring proposedFileName(const std::string& name) {
    std::wstring base = wideText(name);
    for (wchar_t& c : base) {
        if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            c = L'-';
        }
    }
    if (base.empty() || base.front() == L'.') {
        base.insert(0, L"sound");
    }
    return base + wideText(sounds::kSoundFileExtension);
}

/// The common dialogs' filter: Vireon's sounds, then every file.
std::wstring fileFilter() {
    const std::wstring extension = wideText(sounds::kSoundFileExtension);
    std::wstring filter = L"Vireon sounds (*" + extension + L")";
    filter += L'\0';
    filter += L"*" + extension;
    filter += L'\0';
    filter += L"All files (*.*)";
    filter += L'\0';
    filter += L"*.*";
    filter += L'\0';
    return filter;
}

void warn(MainWindow& window, const wchar_t* title, const std::string& text) {
    ::MessageBoxW(window.handle(), wideText(text).c_str(), title, MB_OK | MB_ICONWARNING);
}

// Asks for a sound file in the common Open or Save dialog, starting at `proposed` (a full path,
// or empty) in `folder`; the chosen path, or nothing when the dialog was cancelled. Keys typed
// while the modal dialog was up never reach the main window's event loop.
std::optional<std::wstring> askForFile(MainWindow& window, bool saving, const wchar_t* title,
                                       const std::wstring& proposed, const std::wstring& folder) {
    std::wstring file = proposed;
    file.resize(kPathCharacters, L'\0');
    const std::wstring filter = fileFilter();
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window.handle();
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kPathCharacters;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER |
                   (saving ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const bool chosen = (saving ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog)) != 0;
    window.dropEvents();
    if (!chosen) {
        return std::nullopt;
    }
    file.resize(file.find(L'\0'));
    return file;
}

}  // namespace

SoundFiles::SoundFiles(MainWindow& window, desktop::WindowEvents& events)
    : window_(window), events_(events), folder_(sounds::userSoundsFolder()) {}

void SoundFiles::open() {
    // The folder is made on first use, so that the dialog can start there.
    settings::platform::createFolders(folder_);
    const std::optional<std::wstring> file =
        askForFile(window_, false, L"Open sound", L"", folder_.wstring());
    if (!file) {
        return;
    }
    sounds::ParsedSound read = sounds::readSoundFile(std::filesystem::path(*file));
    if (const auto* problem = std::get_if<std::string>(&read)) {
        warn(window_, L"Open sound",
             "The sound file \"" + narrowText(*file) + "\" cannot be opened: " + *problem +
                 ". Nothing was changed.");
        return;
    }
    events_.choose(std::get<sounds::Sound>(read));
}

void SoundFiles::save() {
    sounds::Sound sound = events_.current();
    if (!askNameAndDescription(window_, sound.name, sound.description)) {
        return;
    }
    if (const std::string problem = sounds::checkSound(sound); !problem.empty()) {
        warn(window_, L"Save sound",
             "The sound cannot be saved: " + problem + ". Nothing was saved.");
        return;
    }
    settings::platform::createFolders(folder_);
    const std::optional<std::wstring> file = askForFile(
        window_, true, L"Save sound", (folder_ / proposedFileName(sound.name)).wstring(), L"");
    if (!file) {
        return;
    }
    if (const std::string problem = sounds::saveSoundFile(std::filesystem::path(*file), sound);
        !problem.empty()) {
        warn(window_, L"Save sound",
             "The sound could not be saved as \"" + narrowText(*file) + "\": " + problem +
                 ". Any file there is as it was.");
        return;
    }
    events_.saved(sound);
}

}  // namespace vireon::win32
