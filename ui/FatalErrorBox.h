// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace vireon::ui {

/// Object name of the fatal-error box, by which tests find it to dismiss it.
inline constexpr const char* kFatalErrorBoxName = "vireonFatalErrorBox";

/// Shows the audio library's error text in a modal box titled "PortAudio" with an OK button and
/// returns when the user dismisses it. The text is shown exactly as given, and below it one
/// sentence on what to do. UI thread.
void showFatalAudioError(const std::string& text);

}  // namespace vireon::ui
