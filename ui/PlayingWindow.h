// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "controls/Controls.h"

class QComboBox;
class QLabel;
class QSlider;

namespace vireon::ui {

class EventSource;

/// The "Playing" window: the playing controls of the table (fade, velocity, bend, glide, pedal,
/// priority), one row each, made from their descriptions: a slider with its value for a control
/// that counts, a list of names for a switch. Every move by the user, or by setPosition, goes
/// straight to the sound; each control offers MIDI learn in its context menu. UI thread.
class PlayingWindow : public QWidget {
  public:
    /// Where the controls' moves go, each as it happens, whichever event loop runs.
    using Move = std::function<void(controls::ControlId control, int position)>;

    PlayingWindow(EventSource& events, Move move);

    /// The position of a playing control; 0 for any other control.
    int position(controls::ControlId control) const;
    /// Moves a playing control, held within its range, and with it the sound.
    void setPosition(controls::ControlId control, int position);
    /// Shows where a MIDI controller has moved `control`, without moving the sound again.
    void showControllerMove(controls::ControlId control, int position);
    /// Shows which controller moves `control`, in its context menu and tooltip.
    void showController(controls::ControlId control, std::optional<int> controller);

    /// The widget of a playing control, or nullptr for any other control.
    QWidget* widgetFor(controls::ControlId control) const;

  private:
    struct Row {
        QSlider* slider = nullptr;
        QComboBox* choice = nullptr;
        QLabel* value = nullptr;
    };
    void showValue(controls::ControlId control);

    std::array<Row, controls::kControlCount> rows_{};
    std::array<std::optional<int>, controls::kControlCount> controllers_{};
};

}  // namespace vireon::ui
