// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "settings/LatencyFile.h"

class QAction;

namespace vireon::ui {

class EventSource;
class MainWindow;

/// The main window's "Audio" menu, after its other menus: two exclusive entries, "Standard
/// latency" and "Low latency". Choosing one posts kMenuStandardLatency or kMenuLowLatency; the
/// event loop decides. The entry in use is checked and shows the stream's measured latency in
/// its text. UI thread.
class LatencyMenu {
  public:
    /// Adds the menu to the window's menu bar; a window without one gets none.
    LatencyMenu(MainWindow& window, EventSource& events);

    /// Checks the entry of `chosen` and shows `seconds`, the open stream's latency, in its text
    /// ("Low latency (12 ms)"); without a stream, the plain names.
    void show(settings::Latency chosen, std::optional<double> seconds);

    /// The entry of `latency`, or null without a menu bar. For tests.
    QAction* entry(settings::Latency latency) const;

  private:
    QAction* standard_ = nullptr;
    QAction* low_ = nullptr;
};

}  // namespace vireon::ui
