// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace vireon::ui {

/// Appends "<field>\t<text>" to the file named by the environment variable VIREON_STATUS_TRACE,
/// when it is set, for every status text the window shows. It lets end-to-end tests follow the
/// status bar of a running program without changing what the user sees. UI thread.
void traceStatusText(int field, std::string_view text);

}  // namespace vireon::ui
