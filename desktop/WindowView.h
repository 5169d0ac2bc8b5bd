// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "controls/Controls.h"

namespace vireon::desktop {

/// What the shared event handling needs of a desktop face's windows: the main window's controls
/// by their numbers (controls/WindowNumbers.h), the playing controls by their ControlId, and the
/// status bar. Setting a value here never counts as a move by the user. UI thread.
class WindowView {
  public:
    virtual ~WindowView() = default;

    /// A main-window slider's position; 0 for any other number.
    virtual int sliderValue(int id) const = 0;
    /// Moves a main-window slider, held within its range.
    virtual void setSliderValue(int id, int value) = 0;
    /// The Disorder box's position.
    virtual int disorderValue() const = 0;
    /// Moves the Disorder box, held within its range; its text stays as it is.
    virtual void setDisorderValue(int value) = 0;
    /// Replaces the text of a static text or of the Disorder box's field.
    virtual void setControlText(int id, std::string_view text) = 0;

    /// A playing control's position (the Playing window's).
    virtual int playingPosition(controls::ControlId control) const = 0;
    /// Moves a playing control and with it the sound, as the Playing window's own moves do.
    virtual void setPlayingPosition(controls::ControlId control, int position) = 0;

    /// Shows where a MIDI controller has moved `control` without moving the sound again.
    virtual void showControllerMove(controls::ControlId control, int position) = 0;
    /// Shows which controller moves `control`, if any.
    virtual void showController(controls::ControlId control, std::optional<int> controller) = 0;

    virtual bool hasStatusBar() const = 0;
    /// Shows `text` in status field 0, 1 or 2.
    virtual void setStatusText(int field, std::string_view text) = 0;
    /// Shows `text` (UTF-8) in the status bar's message area.
    virtual void setStatusMessage(std::string_view text) = 0;
};

}  // namespace vireon::desktop
