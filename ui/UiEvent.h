// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::ui {

/// What the program's event loops see of the user's actions: a kind and a number.
struct UiEvent {
    enum class Kind {
        Control,       ///< number: the ControlId of the control
        Menu,          ///< number: the MenuId
        CloseRequest,  ///< number: the WindowId of the window asked to close
        /// The user asks that the next MIDI controller moved binds a control; number: its
        /// controls::ControlId.
        LearnController,
        ForgetController,  ///< number: the controls::ControlId that lets go of its controller
    };
    Kind kind;
    int number;

    friend bool operator==(const UiEvent&, const UiEvent&) = default;
};

}  // namespace vireon::ui
