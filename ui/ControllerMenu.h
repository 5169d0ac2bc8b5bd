// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include "controls/Controls.h"

class QWidget;

namespace vireon::ui {

class EventSource;

/// Gives `widget` the context menu that binds `control` to a MIDI controller: "Learn MIDI
/// controller" and "Forget controller N", posted to `events` as LearnController and
/// ForgetController. `boundController` says which controller the control answers to as the menu
/// opens. UI thread.
void offerControllerMenu(QWidget* widget, controls::ControlId control, EventSource& events,
                         std::function<std::optional<int>()> boundController);

}  // namespace vireon::ui
