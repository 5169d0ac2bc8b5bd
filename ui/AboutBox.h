// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/ProgramTexts.h"

class QWidget;
class QMessageBox;

namespace vireon::ui {

using text::kAboutText;

inline constexpr const char* kAboutBoxName = "vireonAboutBox";

/// Shows the modal About box and returns when the user dismisses it. While it is up, `owner`
/// (the active window when null) and every other visible, enabled window of the program are
/// disabled; each is enabled again afterwards. UI thread.
void showAbout(QWidget* owner);

}  // namespace vireon::ui
