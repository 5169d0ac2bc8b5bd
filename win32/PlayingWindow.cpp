// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/PlayingWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace vireon::win32 {
namespace {

using controls::ControlId;

constexpr const char* kWindowClass = "VireonPlayingWindow";
constexpr int kMargin = 10;
constexpr int kRowHeight = 30;
constexpr int kLabelWidth = 70;
constexpr int kSliderWidth = 200;
constexpr int kValueWidth = 90;
constexpr int kClientWidth = kMargin + kLabelWidth + kSliderWidth + kValueWidth + kMargin;
constexpr int kRows =
    static_cast<int>(controls::kControlCount) - static_cast<int>(controls::kFirstPlayingControl);
constexpr int kClientHeight = 2 * kMargin + kRows * kRowHeight;
// Each control's child windows, numbered from its ControlId.
constexpr int kFirstControlId = 300;
constexpr int kFirstValueId = 400;

int controlNumber(ControlId control) {
    return kFirstControlId + static_cast<int>(control);
}

bool isSwitch(ControlId control) {
    return !controls::control(control).valueNames.empty();
}

}  // namespace

PlayingWindow::PlayingWindow(Move move, PostEvent post)
    : move_(std::move(move)), post_(std::move(post)) {
    window_ = createFixedWindow(&ownedWindowProcedure<PlayingWindow>, kWindowClass, "Playing",
                                kClientWidth, kClientHeight, this);
    if (window_ == nullptr) {
        return;
    }
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    const auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
    const auto add = [&](const char* className, DWORD style, int id, int x, int y, int width,
                         int height, const std::string& text) {
        HWND child = ::CreateWindowExA(
            0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (child != nullptr) {
            ::SendMessageA(child, WM_SETFONT, font, TRUE);
        }
        return child;
    };
    int y = kMargin;
    for (auto i = static_cast<std::size_t>(controls::kFirstPlayingControl);
         i < controls::kControlCount; ++i, y += kRowHeight) {
        const auto control = static_cast<ControlId>(i);
        const controls::Control& c = controls::kControls[i];
        add(WC_STATICA, SS_LEFT, 0, kMargin, y + 4, kLabelWidth, 20, std::string(c.label));
        const int x = kMargin + kLabelWidth;
        if (isSwitch(control)) {
            HWND list = add(WC_COMBOBOXA, CBS_DROPDOWNLIST | WS_TABSTOP, controlNumber(control), x,
                            y, kSliderWidth / 2, 100, "");
            for (const std::string_view name : c.valueNames) {
                ::SendMessageA(list, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(std::string(name).c_str()));
            }
        } else {
            HWND slider = add(TRACKBAR_CLASSA, TBS_HORZ | TBS_NOTICKS | WS_TABSTOP,
                              controlNumber(control), x, y, kSliderWidth, 24, "");
            ::SendMessageA(slider, TBM_SETRANGEMIN, FALSE, c.min);
            ::SendMessageA(slider, TBM_SETRANGEMAX, FALSE, c.max);
            ::SendMessageA(slider, TBM_SETLINESIZE, 0, c.step);
            ::SendMessageA(slider, TBM_SETPAGESIZE, 0, std::max(c.step, (c.max - c.min) / 10));
            add(WC_STATICA, SS_LEFT, kFirstValueId + static_cast<int>(i), x + kSliderWidth + 5,
                y + 4, kValueWidth - 5, 20, "");
        }
        place(control, c.initial);
        showValue(control);
    }
}

PlayingWindow::~PlayingWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

void PlayingWindow::show() {
    if (window_ == nullptr) {
        return;
    }
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
    ::SetFocus(item(controls::kFirstPlayingControl));
}

HWND PlayingWindow::item(ControlId control) const {
    return window_ == nullptr ? nullptr : ::GetDlgItem(window_, controlNumber(control));
}

int PlayingWindow::position(ControlId control) const {
    HWND child = item(control);
    if (!controls::isPlayingControl(control) || child == nullptr) {
        return 0;
    }
    if (isSwitch(control)) {
        return controls::control(control).min +
               static_cast<int>(::SendMessageA(child, CB_GETCURSEL, 0, 0));
    }
    return static_cast<int>(::SendMessageA(child, TBM_GETPOS, 0, 0));
}

void PlayingWindow::place(ControlId control, int position) {
    HWND child = item(control);
    if (child == nullptr) {
        return;
    }
    const controls::Control& c = controls::control(control);
    const int held = std::clamp(position, c.min, c.max);
    if (isSwitch(control)) {
        ::SendMessageA(child, CB_SETCURSEL, static_cast<WPARAM>(held - c.min), 0);
    } else {
        ::SendMessageA(child, TBM_SETPOS, TRUE, held);
    }
}

void PlayingWindow::setPosition(ControlId control, int position) {
    if (!controls::isPlayingControl(control)) {
        return;
    }
    place(control, position);
    showValue(control);
    move_(control, this->position(control));
}

void PlayingWindow::showControllerMove(ControlId control, int position) {
    // The sound is there already: the window only follows it.
    place(control, position);
    showValue(control);
}

void PlayingWindow::showController(ControlId control, std::optional<int> controller) {
    controllers_[static_cast<std::size_t>(control)] = controller;
}

void PlayingWindow::showValue(ControlId control) {
    if (HWND value = ::GetDlgItem(window_, kFirstValueId + static_cast<int>(control))) {
        ::SetWindowTextA(
            value, controls::valueText(controls::control(control), position(control)).c_str());
    }
}

bool PlayingWindow::preTranslate(MSG& message) {
    if (window_ == nullptr || !::IsWindowVisible(window_) ||
        (message.hwnd != window_ && !::IsChild(window_, message.hwnd))) {
        return false;
    }
    return ::IsDialogMessageA(window_, &message) != 0;
}

LRESULT PlayingWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_HSCROLL:
        case WM_COMMAND: {
            HWND child = reinterpret_cast<HWND>(lParam);
            if (child == nullptr || (message == WM_COMMAND && HIWORD(wParam) != CBN_SELCHANGE)) {
                break;
            }
            const int number = ::GetDlgCtrlID(child) - kFirstControlId;
            if (number < static_cast<int>(controls::kFirstPlayingControl) ||
                number >= static_cast<int>(controls::kControlCount)) {
                break;
            }
            const auto control = static_cast<ControlId>(number);
            showValue(control);
            move_(control, position(control));
            return 0;
        }
        case WM_CONTEXTMENU: {
            const int number = ::GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) - kFirstControlId;
            if (number >= static_cast<int>(controls::kFirstPlayingControl) &&
                number < static_cast<int>(controls::kControlCount)) {
                offerControllerMenu(window_, lParam, static_cast<ControlId>(number),
                                    controllers_[static_cast<std::size_t>(number)], post_);
            }
            return 0;
        }
        case WM_CLOSE:
            ::ShowWindow(window_, SW_HIDE);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace vireon::win32
