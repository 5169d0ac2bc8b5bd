// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

#include "desktop/WindowEvents.h"
#include "settings/NumberParser.h"
#include "sounds/FactorySounds.h"

namespace vireon::win32 {

using namespace ui;
using controls::ControlId;

namespace {

constexpr const char* kWindowClass = "VireonMainWindow";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;

constexpr int kSliderWidth = 20;
constexpr int kSliderHeight = 120;
constexpr int kSliderTop = 40;
constexpr int kSpinX = 10;
constexpr int kSpinY = 60;
constexpr int kSpinWidth = 50;
constexpr int kSpinHeight = 25;
// The arrows are half as wide as the box is high; the text field takes the rest.
constexpr int kArrowWidth = kSpinHeight / 2;
constexpr int kDeviceListDroppedHeight = 350;
// The message area takes the rest of the bar.
constexpr std::array<int, 4> kStatusFieldEdges = {100, 200, 230, -1};
constexpr int kMessageField = 3;
constexpr UINT kLearnEntry = 1;
constexpr UINT kForgetEntry = 2;
constexpr UINT_PTR kTickTimer = 1;

struct Slider {
    int id;
    int x;
    ControlId control;
};
// Creation order is also the Tab order, after the device list.
constexpr std::array<Slider, 6> kSliders{{
    {kAttackSlider, 220, ControlId::Attack},
    {kDecaySlider, 240, ControlId::Decay},
    {kSustainSlider, 260, ControlId::Sustain},
    {kReleaseSlider, 280, ControlId::Release},
    {kHavocSlider, 100, ControlId::Havoc},
    {kBedlamSlider, 150, ControlId::Bedlam},
}};

/// The Disorder box's text field gives its context menu to the window, which offers MIDI learn
/// there as on the sliders.
LRESULT CALLBACK disorderFieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    if (message == WM_CONTEXTMENU) {
        return ::SendMessageA(::GetParent(field), message, wParam, lParam);
    }
    return ::DefSubclassProc(field, message, wParam, lParam);
}

const Slider* sliderWithId(int id) {
    const auto found = std::find_if(kSliders.begin(), kSliders.end(),
                                    [id](const Slider& s) { return s.id == id; });
    return found == kSliders.end() ? nullptr : &*found;
}

struct Label {
    int id;
    int x;
    int y;
    int width;
    std::string_view text;
};

}  // namespace

HWND createFixedWindow(WNDPROC procedure, const char* className, const char* title, int clientWidth,
                       int clientHeight, void* parameter) {
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    // Registered once per process; a second window of the class finds it there.
    ::RegisterClassA(&windowClass);

    // The outer size is that of a window without a menu bar: a menu bar attached afterwards
    // takes its height from the client area.
    RECT outer{0, 0, clientWidth, clientHeight};
    ::AdjustWindowRectEx(&outer, kWindowStyle, FALSE, 0);
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    const int width = std::min<int>(outer.right - outer.left, screenWidth);
    const int height = std::min<int>(outer.bottom - outer.top, screenHeight);
    return ::CreateWindowExA(0, className, title, kWindowStyle, (screenWidth - width) / 2,
                             (screenHeight - height) / 2, width, height, nullptr, nullptr, instance,
                             parameter);
}

std::wstring wideText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          size);
    return wide;
}

void offerControllerMenu(HWND window, LPARAM at, ControlId control, std::optional<int> controller,
                         const PostEvent& post) {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    ::AppendMenuA(menu, MF_STRING, kLearnEntry, "Learn MIDI controller");
    // Also for a control without a controller: it ends a learning that waits for one.
    const std::string forget =
        controller ? "Forget controller " + std::to_string(*controller) : "Forget controller";
    ::AppendMenuA(menu, MF_STRING, kForgetEntry, forget.c_str());
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        RECT rectangle{};
        ::GetWindowRect(window, &rectangle);
        point = {rectangle.left, rectangle.bottom};
    }
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                           point.x, point.y, 0, window, nullptr));
    ::DestroyMenu(menu);
    const int number = static_cast<int>(control);
    if (chosen == kLearnEntry) {
        post({WindowEvent::Kind::LearnController, number});
    } else if (chosen == kForgetEntry) {
        post({WindowEvent::Kind::ForgetController, number});
    }
}

MainWindow::MainWindow(EnvelopeMove moveEnvelope) : moveEnvelope_(std::move(moveEnvelope)) {}

MainWindow::~MainWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
    if (keys_ != nullptr) {
        ::DestroyAcceleratorTable(keys_);
    }
}

bool MainWindow::build(const std::string& disorderText) {
    window_ = createFixedWindow(&ownedWindowProcedure<MainWindow>, kWindowClass, "Vireon",
                                kClientWidth, kClientHeight, this);
    if (window_ == nullptr) {
        return false;
    }
    ::ShowWindow(window_, SW_SHOWNORMAL);
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    font_ = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

    createMenu();
    createControl(WC_COMBOBOXA, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, kMidiDeviceList, 320,
                  60, 140, kDeviceListDroppedHeight);
    for (const Slider& slider : kSliders) {
        createSlider(slider.id, slider.x, slider.control);
    }
    createControl(WC_STATICA, SS_LEFT, 0, kBedlamValueText, 150, 160, 100, 20,
                  std::to_string(controls::control(ControlId::Bedlam).initial).c_str());
    createControl(WC_STATICA, SS_LEFT, 0, kHavocValueText, 100, 160, 50, 20,
                  std::to_string(controls::control(ControlId::Havoc).initial).c_str());

    const controls::Control& disorder = controls::control(ControlId::Disorder);
    createControl(WC_EDITA, ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kDisorderSpin,
                  kSpinX, kSpinY, kSpinWidth - kArrowWidth, kSpinHeight);
    ::SetWindowSubclass(control(kDisorderSpin), disorderFieldProcedure, 0, 0);
    // No automatic display of the position: the text changes only when the program sets it.
    upDown_ = ::CreateWindowExA(0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS,
                                kSpinX + kSpinWidth - kArrowWidth, kSpinY, kArrowWidth, kSpinHeight,
                                window_, nullptr, instance, nullptr);
    if (upDown_ != nullptr) {
        ::SendMessageA(upDown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(control(kDisorderSpin)), 0);
        ::SendMessageA(upDown_, UDM_SETRANGE32, static_cast<WPARAM>(disorder.min),
                       static_cast<LPARAM>(disorder.max));
    }
    // One below the number in the text, as the file's value has always been shown; the low 32
    // bits of the difference, then held within the range.
    setSpinValue(static_cast<int>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(settings::parseNumber(disorderText)) - 1)));
    setControlText(kDisorderSpin, disorderText);

    const std::array<Label, 7> labels{{
        {kDisorderLabel, 20, 27, 60, disorder.label},
        {kHavocLabel, 90, 27, 40, controls::control(ControlId::Havoc).label},
        {kBedlamLabel, 140, 27, 40, controls::control(ControlId::Bedlam).label},
        {kAttackLabel, 225, 27, 10, controls::control(ControlId::Attack).label},
        {kDecayLabel, 245, 27, 10, controls::control(ControlId::Decay).label},
        {kSustainLabel, 265, 27, 10, controls::control(ControlId::Sustain).label},
        {kReleaseLabel, 285, 27, 10, controls::control(ControlId::Release).label},
    }};
    for (const Label& label : labels) {
        createControl(WC_STATICA, SS_LEFT, 0, label.id, label.x, label.y, label.width, 20,
                      std::string(label.text).c_str());
    }
    createStatusBar();

    std::array<ACCEL, 3> keys{{{FVIRTKEY, VK_ESCAPE, kMenuQuit},
                               {FVIRTKEY | FCONTROL, 'K', kMenuKeyboard},
                               {FVIRTKEY | FCONTROL, 'P', kMenuPlaying}}};
    keys_ = ::CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size()));
    ::SetFocus(control(kMidiDeviceList));
    return true;
}

void MainWindow::createMenu() {
    HMENU bar = ::CreateMenu();
    HMENU help = ::CreatePopupMenu();
    if (bar == nullptr || help == nullptr) {
        return;  // the window works without its menu
    }
    ::AppendMenuA(help, MF_STRING, kMenuAbout, "About");
    ::AppendMenuA(help, MF_STRING, kMenuHelp, "Help");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "?");
    // A menu of its own after "?", as in the other desktop face.
    if (HMENU keyboard = ::CreatePopupMenu()) {
        ::AppendMenuA(keyboard, MF_STRING, kMenuKeyboard, "Show keyboard\tCtrl+K");
        ::AppendMenuW(keyboard, MF_STRING, kMenuPlaying, wideText("Playing…\tCtrl+P").c_str());
        ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(keyboard), "Keyboard");
    }
    if (HMENU sounds = ::CreatePopupMenu()) {
        int number = kMenuFirstSound;
        for (const sounds::Sound& sound : sounds::factorySounds()) {
            ::AppendMenuA(sounds, MF_STRING, static_cast<UINT_PTR>(number++), sound.name.c_str());
        }
        ::AppendMenuA(sounds, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(sounds, MF_STRING, kMenuOpenSound, wideText("Open sound…").c_str());
        ::AppendMenuW(sounds, MF_STRING, kMenuSaveSound, wideText("Save sound…").c_str());
        ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sounds), "Sounds");
    }
    if ((audioMenu_ = ::CreatePopupMenu()) != nullptr) {
        ::AppendMenuA(audioMenu_, MF_STRING, kMenuStandardLatency, "");
        ::AppendMenuA(audioMenu_, MF_STRING, kMenuLowLatency, "");
        ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(audioMenu_), "Audio");
        showLatency(settings::Latency::Standard, std::nullopt);
    }
    ::SetMenu(window_, bar);
}

HWND MainWindow::createControl(const char* className, DWORD style, DWORD extendedStyle, int id,
                               int x, int y, int width, int height, const char* text) {
    HWND created = ::CreateWindowExA(
        extendedStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr), nullptr);
    if (created != nullptr) {
        ::SendMessageA(created, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    return created;
}

void MainWindow::createSlider(int id, int x, ControlId control) {
    const controls::Control& description = controls::control(control);
    HWND slider = createControl(TRACKBAR_CLASSA, TBS_VERT | TBS_NOTICKS | WS_TABSTOP, 0, id, x,
                                kSliderTop, kSliderWidth, kSliderHeight);
    if (slider == nullptr) {
        return;
    }
    ::SendMessageA(slider, TBM_SETRANGEMIN, FALSE, description.min);
    ::SendMessageA(slider, TBM_SETRANGEMAX, FALSE, description.max);
    ::SendMessageA(slider, TBM_SETPAGESIZE, 0,
                   std::max(1, (description.max - description.min) / 10));
    setSliderValue(id, description.initial);
}

void MainWindow::createStatusBar() {
    statusBar_ = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                   window_, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (statusBar_ == nullptr) {
        return;
    }
    ::SendMessageA(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    ::SendMessageA(statusBar_, SB_SETMINHEIGHT, 18, 0);
    ::SendMessageA(statusBar_, WM_SIZE, 0, 0);
    ::SendMessageA(statusBar_, SB_SETPARTS, kStatusFieldEdges.size(),
                   reinterpret_cast<LPARAM>(kStatusFieldEdges.data()));
}

HWND MainWindow::control(int id) const {
    return window_ == nullptr ? nullptr : ::GetDlgItem(window_, id);
}

std::optional<int> MainWindow::sliderFor(ControlId control) {
    const auto found = std::find_if(kSliders.begin(), kSliders.end(),
                                    [control](const Slider& s) { return s.control == control; });
    return found == kSliders.end() ? std::nullopt : std::optional<int>(found->id);
}

int MainWindow::sliderValue(int id) const {
    const Slider* slider = sliderWithId(id);
    HWND trackbar = control(id);
    if (slider == nullptr || trackbar == nullptr) {
        return 0;
    }
    // The trackbar counts from the top; the top is the maximum.
    const controls::Control& description = controls::control(slider->control);
    const int raw = static_cast<int>(::SendMessageA(trackbar, TBM_GETPOS, 0, 0));
    return description.min + description.max - raw;
}

void MainWindow::setSliderValue(int id, int value) {
    const Slider* slider = sliderWithId(id);
    HWND trackbar = control(id);
    if (slider == nullptr || trackbar == nullptr) {
        return;
    }
    const controls::Control& description = controls::control(slider->control);
    value = std::clamp(value, description.min, description.max);
    ::SendMessageA(trackbar, TBM_SETPOS, TRUE, description.min + description.max - value);
}

int MainWindow::spinValue() const {
    if (upDown_ == nullptr) {
        return 0;
    }
    return static_cast<int>(::SendMessageA(upDown_, UDM_GETPOS32, 0, 0));
}

void MainWindow::setSpinValue(int value) {
    if (upDown_ == nullptr) {
        return;
    }
    const controls::Control& disorder = controls::control(ControlId::Disorder);
    ::SendMessageA(upDown_, UDM_SETPOS32, 0, std::clamp(value, disorder.min, disorder.max));
}

std::string MainWindow::controlText(int id) const {
    HWND item = control(id);
    if (item == nullptr) {
        return {};
    }
    const int length = ::GetWindowTextLengthA(item);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

void MainWindow::setControlText(int id, std::string_view text) {
    HWND item = control(id);
    if (item == nullptr) {
        return;
    }
    settingText_ = true;
    ::SetWindowTextA(item, std::string(text).c_str());
    settingText_ = false;
}

int MainWindow::selectedIndex() const {
    HWND list = control(kMidiDeviceList);
    return list == nullptr ? -1 : static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
}

void MainWindow::selectIndex(int index) {
    if (HWND list = control(kMidiDeviceList)) {
        ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

void MainWindow::addListItem(std::string_view text) {
    if (HWND list = control(kMidiDeviceList)) {
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::string(text).c_str()));
    }
}

void MainWindow::setStatusText(int field, std::string_view text) {
    if (statusBar_ == nullptr) {
        return;
    }
    // A leading tab centres a status field's text.
    const std::string centred = "\t" + std::string(text);
    ::SendMessageA(statusBar_, SB_SETTEXTA, static_cast<WPARAM>(field),
                   reinterpret_cast<LPARAM>(centred.c_str()));
}

void MainWindow::setStatusMessage(std::string_view text) {
    if (statusBar_ != nullptr) {
        ::SendMessageW(statusBar_, SB_SETTEXTW, kMessageField,
                       reinterpret_cast<LPARAM>(wideText(text).c_str()));
    }
}

void MainWindow::showControllerMove(ControlId control, int position) {
    if (control == ControlId::Disorder) {
        setSpinValue(position);
        setControlText(kDisorderSpin, std::to_string(spinValue()));
        return;
    }
    const std::optional<int> slider = sliderFor(control);
    if (!slider) {
        return;
    }
    setSliderValue(*slider, position);
    if (*slider == kHavocSlider || *slider == kBedlamSlider) {
        setControlText(*slider == kHavocSlider ? kHavocValueText : kBedlamValueText,
                       std::to_string(sliderValue(*slider)));
    }
}

void MainWindow::showController(ControlId control, std::optional<int> controller) {
    controllers_[static_cast<std::size_t>(control)] = controller;
}

void MainWindow::showLatency(settings::Latency chosen, std::optional<double> seconds) {
    if (audioMenu_ == nullptr) {
        return;
    }
    for (const settings::Latency latency : {settings::Latency::Standard, settings::Latency::Low}) {
        const UINT item =
            latency == settings::Latency::Low ? kMenuLowLatency : kMenuStandardLatency;
        const std::string text = desktop::latencyEntryText(latency, latency == chosen, seconds);
        ::ModifyMenuA(audioMenu_, item, MF_BYCOMMAND | MF_STRING, item, text.c_str());
    }
    ::CheckMenuRadioItem(audioMenu_, kMenuStandardLatency, kMenuLowLatency,
                         chosen == settings::Latency::Low ? kMenuLowLatency : kMenuStandardLatency,
                         MF_BYCOMMAND);
}

void MainWindow::contextMenu(HWND item, LPARAM at) {
    std::optional<ControlId> control;
    if (item == upDown_ || item == this->control(kDisorderSpin)) {
        control = ControlId::Disorder;
    } else if (const Slider* slider = sliderWithId(::GetDlgCtrlID(item))) {
        control = slider->control;
    }
    if (control) {
        offerControllerMenu(window_, at, *control, controllers_[static_cast<std::size_t>(*control)],
                            [this](WindowEvent event) { post(event); });
    }
}

bool MainWindow::preTranslate(MSG& message) {
    if (window_ == nullptr) {
        return false;
    }
    // Escape closes the device list while it is open, as it does everywhere else.
    HWND list = control(kMidiDeviceList);
    const bool listOpen = list != nullptr && ::SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) != 0;
    if (keys_ != nullptr && ::GetActiveWindow() == window_ && !listOpen &&
        ::TranslateAcceleratorA(window_, keys_, &message) != 0) {
        return true;
    }
    // Tab moves among the window's own controls only; a dialog's handling of every other key
    // (Enter, Escape) would collide with the menu's item numbers.
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
        (message.hwnd == window_ || ::IsChild(window_, message.hwnd))) {
        const bool backwards = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        HWND focus = ::GetFocus();
        // The device list's edit part, or the up-down's buddy, is a child of the control.
        while (focus != nullptr && ::GetParent(focus) != window_) {
            focus = ::GetParent(focus);
        }
        if (HWND next = ::GetNextDlgTabItem(window_, focus, backwards ? TRUE : FALSE)) {
            ::SetFocus(next);
        }
        return true;
    }
    return false;
}

void MainWindow::setTicker(std::function<void()> tick, unsigned milliseconds) {
    tick_ = std::move(tick);
    if (window_ == nullptr) {
        return;
    }
    if (tick_) {
        ::SetTimer(window_, kTickTimer, milliseconds, nullptr);
    } else {
        ::KillTimer(window_, kTickTimer);
    }
}

std::optional<WindowEvent> MainWindow::takeEvent() {
    if (events_.empty()) {
        return std::nullopt;
    }
    const WindowEvent event = events_.front();
    events_.pop_front();
    return event;
}

void MainWindow::scrolled(HWND control) {
    if (control == upDown_) {
        post(WindowEvent::Kind::Control, kDisorderSpin);
        return;
    }
    const int id = ::GetDlgCtrlID(control);
    const Slider* slider = sliderWithId(id);
    if (slider == nullptr) {
        return;
    }
    // The envelope follows its sliders at once, even while a nested loop drops the events.
    if (id != kHavocSlider && id != kBedlamSlider && moveEnvelope_) {
        moveEnvelope_(slider->control, sliderValue(id));
    }
    post(WindowEvent::Kind::Control, id);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (lParam == 0) {
                // 0 from the menu, 1 from the Escape key.
                post(WindowEvent::Kind::Menu, id);
            } else if (id == kMidiDeviceList && code == CBN_SELCHANGE) {
                post(WindowEvent::Kind::Control, id);
            } else if (id == kDisorderSpin && !settingText_ &&
                       (code == EN_SETFOCUS || code == EN_KILLFOCUS || code == EN_CHANGE)) {
                post(WindowEvent::Kind::Control, id);
            }
            return 0;
        }
        case WM_VSCROLL:
            if (lParam != 0) {
                scrolled(reinterpret_cast<HWND>(lParam));
            }
            return 0;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != window_) {
                contextMenu(reinterpret_cast<HWND>(wParam), lParam);
            }
            return 0;
        case WM_TIMER:
            if (wParam == kTickTimer && tick_) {
                tick_();
            }
            return 0;
        case WM_CLOSE:
            // Only a request: the event loop decides.
            post(WindowEvent::Kind::CloseRequest, 0);
            return 0;
        default:
            return ::DefWindowProcA(window_, message, wParam, lParam);
    }
}

}  // namespace vireon::win32
