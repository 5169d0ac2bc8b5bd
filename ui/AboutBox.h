// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

class QWidget;
class QMessageBox;

namespace vireon::ui {

/// The About text: name, version and maker on the first line, a carriage return, then what the
/// program is.
inline constexpr std::string_view kAboutText =
    "Vireon v1.01 by the Vireon developers\rSound Synthesizer using chaos functions";

inline constexpr const char* kAboutBoxName = "vireonAboutBox";

/// Shows the modal About box and returns when the user dismisses it. While it is up, `owner`
/// (the active window when null) and every other visible, enabled window of the program are
/// disabled; each is enabled again afterwards. UI thread.
void showAbout(QWidget* owner);

}  // namespace vireon::ui
