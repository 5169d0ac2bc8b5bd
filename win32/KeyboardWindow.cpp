// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/KeyboardWindow.h"

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "midi/MidiMessage.h"
#include "win32/MainWindow.h"
#include "win32/WasapiOutput.h"

namespace vireon::win32 {
namespace {

constexpr const char* kWindowClass = "VireonKeyboardWindow";
constexpr int kKeyCount = 25;
constexpr int kWhiteKeys = 15;
constexpr int kWhiteWidth = 24;
constexpr int kWhiteHeight = 100;
constexpr int kBlackWidth = 14;
constexpr int kBlackHeight = 60;
constexpr int kMargin = 10;
constexpr int kLabelHeight = 20;
constexpr int kScopeHeight = 130;
constexpr int kKeysTop = kMargin + kLabelHeight;
constexpr int kScopeTop = kKeysTop + kWhiteHeight + kMargin;
constexpr int kClientWidth = kWhiteKeys * kWhiteWidth + 2 * kMargin;
constexpr int kClientHeight = kScopeTop + kScopeHeight + kMargin;
constexpr UINT_PTR kScopeTimer = 1;
constexpr UINT kScopeMilliseconds = 33;
// Full scale fills 90% of the half height.
constexpr double kFullScale = 0.9;
constexpr float kClip = 1.1f;
constexpr COLORREF kPressed = RGB(0xff, 0x8c, 0x1a);
constexpr COLORREF kScopeScreen = RGB(0x0b, 0x2a, 0x18);
constexpr COLORREF kScopeEdge = RGB(0x2e, 0x5e, 0x40);
constexpr COLORREF kScopeTrace = RGB(0x5c, 0xff, 0x9d);

bool isBlack(int semitone) {
    constexpr std::array<bool, 12> kBlack{false, true,  false, true,  false, false,
                                          true,  false, true,  false, true,  false};
    return kBlack[static_cast<std::size_t>(semitone % 12)];
}

/// How many white keys lie left of `semitone` (counted from the lowest key, a C).
int whitesBefore(int semitone) {
    int whites = 0;
    for (int s = 0; s < semitone; ++s) {
        whites += isBlack(s) ? 0 : 1;
    }
    return whites;
}

RECT keyRect(int semitone) {
    const int left = kMargin + whitesBefore(semitone) * kWhiteWidth;
    if (isBlack(semitone)) {
        return {left - kBlackWidth / 2, kKeysTop, left + kBlackWidth / 2, kKeysTop + kBlackHeight};
    }
    return {left, kKeysTop, left + kWhiteWidth, kKeysTop + kWhiteHeight};
}

void fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &rect, brush);
    ::DeleteObject(brush);
}

}  // namespace

KeyboardWindow::KeyboardWindow(NoteSender send, WasapiOutput& audio)
    : send_(std::move(send)), audio_(audio), computerKeys_(send_) {}

KeyboardWindow::~KeyboardWindow() {
    hide();
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

void KeyboardWindow::show() {
    if (window_ == nullptr) {
        window_ = createFixedWindow(&ownedWindowProcedure<KeyboardWindow>, kWindowClass,
                                    "Vireon keyboard", kClientWidth, kClientHeight, this);
        if (window_ == nullptr) {
            return;
        }
    }
    if (!::IsWindowVisible(window_)) {
        // Whatever waited from an earlier showing is stale.
        trace_ = live::ScopeTrace();
        tap_.rate.store(audio_.rate(), std::memory_order_relaxed);
        audio_.setScopeTap(&tap_);
        ::SetTimer(window_, kScopeTimer, kScopeMilliseconds, nullptr);
    }
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
    ::SetFocus(window_);
}

void KeyboardWindow::hide() {
    releaseAll();
    if (window_ != nullptr && ::IsWindowVisible(window_)) {
        ::KillTimer(window_, kScopeTimer);
        audio_.setScopeTap(nullptr);
        ::ShowWindow(window_, SW_HIDE);
    }
}

void KeyboardWindow::releaseAll() {
    mouseNote(-1);
    computerKeys_.releaseAll();
    redraw();
}

void KeyboardWindow::mouseNote(int note) {
    if (note == mouseNote_) {
        return;
    }
    // The new note starts before the old one ends, so the envelope goes on: legato.
    if (note >= 0) {
        send_(midi::packShortMessage(0x90, static_cast<std::uint8_t>(note),
                                     midi::ComputerKeyboard::kVelocity));
    }
    if (mouseNote_ >= 0) {
        send_(midi::packShortMessage(0x80, static_cast<std::uint8_t>(mouseNote_), 0));
    }
    mouseNote_ = note;
    redraw();
}

int KeyboardWindow::noteAt(int x, int y) const {
    const POINT point{x, y};
    // Black keys lie on top of the white ones.
    for (const bool black : {true, false}) {
        for (int semitone = 0; semitone < kKeyCount; ++semitone) {
            const RECT rect = keyRect(semitone);
            if (isBlack(semitone) == black && ::PtInRect(&rect, point)) {
                return computerKeys_.baseNote() + semitone;
            }
        }
    }
    return -1;
}

void KeyboardWindow::redraw() const {
    if (window_ != nullptr) {
        ::InvalidateRect(window_, nullptr, FALSE);
    }
}

void KeyboardWindow::paint(HDC dc) const {
    RECT client{0, 0, kClientWidth, kClientHeight};
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));

    const std::string hint = computerKeys_.hint();
    RECT label{kMargin, kMargin / 2, kClientWidth - kMargin, kKeysTop};
    ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextA(dc, hint.c_str(), static_cast<int>(hint.size()), &label,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE);

    std::set<int> held = computerKeys_.heldNotes();
    if (mouseNote_ >= 0) {
        held.insert(mouseNote_);
    }
    ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    for (const bool black : {false, true}) {
        for (int semitone = 0; semitone < kKeyCount; ++semitone) {
            if (isBlack(semitone) != black) {
                continue;
            }
            const RECT rect = keyRect(semitone);
            const bool pressed = held.contains(computerKeys_.baseNote() + semitone);
            fill(dc, rect,
                 pressed ? kPressed
                 : black ? RGB(0x20, 0x20, 0x20)
                         : RGB(0xfa, 0xf6, 0xea));
            ::FrameRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        }
    }

    const RECT screen{kMargin, kScopeTop, kClientWidth - kMargin, kScopeTop + kScopeHeight};
    fill(dc, screen, kScopeScreen);
    HPEN edge = ::CreatePen(PS_SOLID, 1, kScopeEdge);
    HPEN trace = ::CreatePen(PS_SOLID, 1, kScopeTrace);
    const int middle = (screen.top + screen.bottom) / 2;
    ::SelectObject(dc, edge);
    ::MoveToEx(dc, screen.left + 1, middle, nullptr);
    ::LineTo(dc, screen.right - 1, middle);
    const std::span<const float> samples = trace_.visible();
    const std::size_t span = trace_.spanSamples();
    if (samples.size() >= 2 && span >= 2) {
        std::vector<POINT> points(samples.size());
        const double step =
            static_cast<double>(screen.right - screen.left - 1) / static_cast<double>(span - 1);
        const double half = (screen.bottom - screen.top) / 2.0 - 1.0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const float sample = std::clamp(samples[i], -kClip, kClip);
            points[i] = {screen.left + static_cast<LONG>(static_cast<double>(i) * step),
                         middle - static_cast<LONG>(sample * kFullScale * half)};
        }
        ::SelectObject(dc, trace);
        ::Polyline(dc, points.data(), static_cast<int>(points.size()));
    }
    ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    ::DeleteObject(edge);
    ::DeleteObject(trace);
}

namespace {

/// The computer key of a key message as midi::ComputerKeyboard names it: letters and digits
/// are their own codes, and the main and number-pad minus and plus are '-' and '+'.
int computerKey(WPARAM virtualKey) {
    switch (virtualKey) {
        case VK_OEM_MINUS:
        case VK_SUBTRACT:
            return '-';
        case VK_OEM_PLUS:
        case VK_ADD:
            return '+';
        default:
            return static_cast<int>(virtualKey);
    }
}

}  // namespace

LRESULT KeyboardWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN: {
            // Bit 30: the key was down already, a repeat.
            const bool repeat = (lParam & (1 << 30)) != 0;
            if (computerKeys_.press(computerKey(wParam), repeat)) {
                redraw();
                return 0;
            }
            break;
        }
        case WM_KEYUP:
            if (computerKeys_.release(computerKey(wParam))) {
                redraw();
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
            ::SetCapture(window_);
            mouseNote(
                noteAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))));
            return 0;
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) != 0 && mouseNote_ >= 0) {
                const int note =
                    noteAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
                if (note >= 0) {
                    mouseNote(note);
                }
            }
            return 0;
        case WM_LBUTTONUP:
            ::ReleaseCapture();
            mouseNote(-1);
            return 0;
        // The release of a key pressed here goes to whichever window has the focus by then:
        // without ending the notes now, they would hang on.
        case WM_KILLFOCUS:
        case WM_CAPTURECHANGED:
            if (message == WM_KILLFOCUS) {
                computerKeys_.releaseAll();
            }
            mouseNote(-1);
            redraw();
            return 0;
        case WM_TIMER:
            if (wParam == kScopeTimer) {
                trace_.take(tap_);
                redraw();
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paintStruct;
            HDC dc = ::BeginPaint(window_, &paintStruct);
            // Drawn off screen first: the scope repaints many times a second without flicker.
            HDC buffer = ::CreateCompatibleDC(dc);
            HBITMAP bitmap = ::CreateCompatibleBitmap(dc, kClientWidth, kClientHeight);
            HGDIOBJ previous = ::SelectObject(buffer, bitmap);
            paint(buffer);
            ::BitBlt(dc, 0, 0, kClientWidth, kClientHeight, buffer, 0, 0, SRCCOPY);
            ::SelectObject(buffer, previous);
            ::DeleteObject(bitmap);
            ::DeleteDC(buffer);
            ::EndPaint(window_, &paintStruct);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            hide();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace vireon::win32
