// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "controls/Controls.h"
#include "controls/WindowNumbers.h"
#include "ui/UiEvent.h"

class QCloseEvent;
class QComboBox;
class QMenuBar;
class QSlider;

namespace vireon::ui {

class DisorderSpinBox;
class EventSource;
class StatusBar;

/// Gives a top-level window its title, a caption with only the system menu and close box, a
/// fixed client size and the button-face background: the style of all the program's windows.
void setUpFixedWindow(QWidget& window, const QString& title, QSize clientSize);

/// Moves a top-level window so that its outer frame, limited to the screen's size, sits in the
/// middle of its screen (integer halves, as the window's own placement rule says).
void centreOnScreen(QWidget& window);

/// The synthesizer's main window: a "?" menu and a "Keyboard" menu, six vertical sliders, the
/// Disorder box, the MIDI device list, a few texts and a three-field status bar, every control at a
/// fixed place and known by its ControlId. User actions become UiEvents posted to the EventSource;
/// values and texts set through this class never post anything. All operations: UI thread.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 470;
    static constexpr int kClientHeight = 230;

    /// Where the envelope sliders' moves go, each as it happens, whichever event loop runs.
    using EnvelopeMove = std::function<void(controls::ControlId control, int position)>;

    /// Hands every move of an envelope slider to `moveEnvelope`. Creates no widgets yet;
    /// `build` does.
    MainWindow(EventSource& events, EnvelopeMove moveEnvelope);
    ~MainWindow() override;

    /// Shows the window, then creates the menu, the controls at their initial values, the
    /// status bar and the Escape shortcut. The Disorder box's position is the number at the
    /// start of `disorderText` (held within 1..50) and its text is `disorderText` itself.
    /// Returns false when there is no screen to show the window on, or when already built.
    bool build(const std::string& disorderText);

    /// Value of slider 5, 6, 7, 8, 15 or 16 (top = maximum); 0 for any other id.
    int sliderValue(ControlId id) const;
    /// Moves a slider's thumb, held within its range.
    void setSliderValue(ControlId id, int value);

    /// Position of the Disorder box; 0 for any other id.
    int spinValue(ControlId id) const;
    /// Sets the Disorder box's position, held within 1..50. Its text stays as it is.
    void setSpinValue(ControlId id, int value);

    /// Text of a static text, of the Disorder box's text field or of the device list's current
    /// entry, as 8-bit bytes; empty for sliders.
    std::string controlText(ControlId id) const;
    /// Replaces the whole text of a static text or of the Disorder box's text field.
    void setControlText(ControlId id, std::string_view text);

    /// The device list's selected index, or -1 when nothing is selected.
    int selectedIndex(ControlId id) const;
    /// Selects an entry of the device list; an index outside the list clears the selection.
    void selectIndex(ControlId id, int index);
    /// Appends an entry to the device list without changing the selection.
    void addListItem(ControlId id, std::string_view text);

    /// Shows where a MIDI controller has moved `control`, as a move by the user would show it,
    /// but posts nothing and moves nothing in the sound: the controller has already moved it
    /// there. Disorder's box takes the position as its text too, to be saved at exit.
    void showControllerMove(controls::ControlId control, int position);

    /// Shows which controller moves `control`: in its context menu ("Forget controller 21")
    /// and its tooltip.
    void showController(controls::ControlId control, std::optional<int> controller);

    /// Shows `text` centred in status field 0, 1 or 2. Does nothing without a status bar.
    void setStatusText(int field, std::string_view text);
    /// Shows `text` (UTF-8) in the status bar's message area, right of the fields.
    void setStatusMessage(std::string_view text);
    /// Whether the status bar exists; every writer of status texts asks first.
    bool hasStatusBar() const { return statusBar_ != nullptr; }

    /// The widget of a control, or nullptr before `build` and for unused numbers.
    QWidget* control(ControlId id) const;
    /// The area below the menu bar, which all control positions are relative to.
    QWidget* clientArea() const { return client_; }
    QMenuBar* menuBar() const { return menuBar_; }
    StatusBar* statusBar() const { return statusBar_; }

    /// The slider that shows `control`; nothing for Disorder, which has its spin box.
    static std::optional<ControlId> sliderFor(controls::ControlId control);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// The close box and Alt+F4 only ask: the window stays and a CloseRequest is posted, so the
    /// event loop decides. The program's own close() is carried out.
    void closeEvent(QCloseEvent* event) override;

  private:
    void createMenu();
    /// The slider `id` for `control`, at its start-up position.
    void createSlider(ControlId id, int x, controls::ControlId control);
    /// Gives `widget` the context menu that binds `control` to a MIDI controller.
    void offerControllerMenu(QWidget* widget, controls::ControlId control);
    QWidget* widgetFor(controls::ControlId control) const;
    void post(UiEvent::Kind kind, int number);

    EventSource& events_;
    EnvelopeMove moveEnvelope_;
    bool built_ = false;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    QComboBox* deviceList_ = nullptr;
    DisorderSpinBox* disorder_ = nullptr;
    StatusBar* statusBar_ = nullptr;
    std::array<QWidget*, 24> controls_{};
    std::array<std::optional<int>, controls::kControlCount> controllers_{};
};

}  // namespace vireon::ui
