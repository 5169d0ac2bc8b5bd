// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "controls/Controls.h"
#include "controls/WindowNumbers.h"
#include "settings/LatencyFile.h"

namespace vireon::win32 {

/// Registers `className` with `procedure` (once per process) and opens a window of it in the style
/// of all the program's windows: titled `title`, a caption with only the system menu and close
/// box, a client area of `clientWidth` by `clientHeight` (less any menu bar attached later), the
/// button-face background, centred on the screen. `parameter` reaches WM_NCCREATE. Null when the
/// window cannot be created. UI thread.
HWND createFixedWindow(WNDPROC procedure, const char* className, const char* title, int clientWidth,
                       int clientHeight, void* parameter);

/// The window procedure of windows that each belong to one object: `owner`, given to
/// createFixedWindow as its parameter, takes every message through its handleMessage once it
/// knows its window (handle()); Windows' default takes the messages of the creation itself.
template <typename Owner>
LRESULT CALLBACK ownedWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Owner*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (owner == nullptr || owner->handle() != window) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return owner->handleMessage(message, wParam, lParam);
}

/// What the user did in the program's windows, as the event loop takes it.
struct WindowEvent {
    enum class Kind {
        Control,
        Menu,
        CloseRequest,
        /// The next MIDI controller moved binds a control; number: its controls::ControlId.
        LearnController,
        /// A control lets go of its controller; number: its controls::ControlId.
        ForgetController,
    };
    Kind kind;
    /// The control's or the menu item's number (WindowNumbers.h), or a ControlId for the
    /// controller events; 0 for a close request.
    int number;
};

/// Where the user's events go: the main window's queue, which the event loop takes them from.
using PostEvent = std::function<void(WindowEvent event)>;

/// The context menu that binds `control` to a MIDI controller, at the screen point `at` (or under
/// `window`'s top left corner for a menu asked for with the keyboard): "Learn MIDI controller"
/// and "Forget controller N" (N: `controller`), posted as LearnController and ForgetController.
void offerControllerMenu(HWND window, LPARAM at, controls::ControlId control,
                         std::optional<int> controller, const PostEvent& post);

/// `text`, UTF-8, as Windows' wide text.
std::wstring wideText(std::string_view text);

/// The synthesizer's main window on Win32's own controls: the "?", "Keyboard", "Sounds" and "Audio"
/// menus, six vertical trackbars, the Disorder box (an edit field with an up-down control), the
/// MIDI device list, a few texts and a three-field status bar, each control at a fixed place under
/// its number. Ranges, start-up positions and labels come from the table of controls, as in every
/// other face. User actions become WindowEvents queued for the event loop; values and texts set
/// through this class queue nothing. All operations: UI thread.
class MainWindow {
  public:
    static constexpr int kClientWidth = 470;
    static constexpr int kClientHeight = 230;

    /// Where the envelope sliders' moves go, each as it happens, whichever loop runs.
    using EnvelopeMove = std::function<void(controls::ControlId control, int position)>;

    explicit MainWindow(EnvelopeMove moveEnvelope);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Shows the window centred on the screen, then creates the menu, the controls at their
    /// start-up positions, the status bar and the Escape, Ctrl+K and Ctrl+P keys. The Disorder
    /// box's position is the number at the start of `disorderText` minus one (held within its
    /// range); its text is `disorderText` itself. False when the window cannot be created.
    bool build(const std::string& disorderText);

    HWND handle() const { return window_; }

    /// Value of slider 5, 6, 7, 8, 15 or 16 (top = maximum); 0 for any other number.
    int sliderValue(int id) const;
    void setSliderValue(int id, int value);

    /// The slider that shows `control`; nothing for Disorder, which has its box.
    static std::optional<int> sliderFor(controls::ControlId control);

    /// Position of the Disorder box.
    int spinValue() const;
    void setSpinValue(int value);

    /// Text of a static text or of the Disorder box's field.
    std::string controlText(int id) const;
    /// Replaces the whole text of a static text or of the Disorder box's field.
    void setControlText(int id, std::string_view text);

    /// The device list: selected entry (-1 for none), selecting one, appending one.
    int selectedIndex() const;
    void selectIndex(int index);
    void addListItem(std::string_view text);

    bool hasStatusBar() const { return statusBar_ != nullptr; }
    /// Shows `text` centred in status field 0, 1 or 2; nothing without a status bar.
    void setStatusText(int field, std::string_view text);
    /// Shows `text` (UTF-8) in the status bar's message area, right of the fields.
    void setStatusMessage(std::string_view text);

    /// Shows where a MIDI controller has moved `control` as a move by the user shows it, but
    /// posts nothing: the sound is there already. Disorder's box takes the position as its text.
    void showControllerMove(controls::ControlId control, int position);
    /// Remembers which controller moves `control`, for its context menu.
    void showController(controls::ControlId control, std::optional<int> controller);

    /// Checks the Audio menu's entry of `chosen` and shows `seconds`, the open output's latency,
    /// in its text; without an output, the plain names.
    void showLatency(settings::Latency chosen, std::optional<double> seconds);

    /// What the window's keys need before a message is dispatched: true when `message` has been
    /// handled (Escape or Ctrl+K while this window is active, Tab or Shift+Tab among the
    /// controls).
    bool preTranslate(MSG& message);

    /// Calls `tick` every `milliseconds` from the window's own procedure, so it goes on while a
    /// nested loop (help, About) runs.
    void setTicker(std::function<void()> tick, unsigned milliseconds);

    /// The oldest event not yet taken, if any.
    std::optional<WindowEvent> takeEvent();
    /// Forgets every event not yet taken: what a nested loop does with the window's events.
    void dropEvents() { events_.clear(); }
    /// Queues an event as the user's own: how other windows reach the event loop.
    void post(WindowEvent event) { events_.push_back(event); }

  private:
    friend LRESULT CALLBACK ownedWindowProcedure<MainWindow>(HWND, UINT, WPARAM, LPARAM);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND createControl(const char* className, DWORD style, DWORD extendedStyle, int id, int x,
                       int y, int width, int height, const char* text = "");
    void createSlider(int id, int x, controls::ControlId control);
    void createMenu();
    void createStatusBar();
    void scrolled(HWND control);
    void post(WindowEvent::Kind kind, int number) { events_.push_back({kind, number}); }
    void contextMenu(HWND control, LPARAM at);
    HWND control(int id) const;

    EnvelopeMove moveEnvelope_;
    std::function<void()> tick_;
    HWND window_ = nullptr;
    HWND upDown_ = nullptr;
    HWND statusBar_ = nullptr;
    HMENU audioMenu_ = nullptr;
    HACCEL keys_ = nullptr;
    HFONT font_ = nullptr;
    // While the program itself sets a text: the edit field's notifications are not the user's.
    bool settingText_ = false;
    std::deque<WindowEvent> events_;
    std::array<std::optional<int>, controls::kControlCount> controllers_{};
};

}  // namespace vireon::win32
