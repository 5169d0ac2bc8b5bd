// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QCloseEvent;
class QPlainTextEdit;

namespace vireon::ui {

class EventSource;

/// The help window: a read-only, unwrapped, scrollable text about the chaos functions and the
/// controls. It has no owner, so the main window stays usable beside it.
class HelpWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 620;
    static constexpr int kClientHeight = 373;

    /// Creates the window with its text; showing it is up to the caller. UI thread.
    explicit HelpWindow(EventSource& events);

    QPlainTextEdit* textBox() const { return textBox_; }

  protected:
    /// The close box and Alt+F4 post a CloseRequest for the help window; the help loop closes it.
    void closeEvent(QCloseEvent* event) override;

  private:
    EventSource& events_;
    QPlainTextEdit* textBox_;
};

/// Opens the help window and serves only it: every event is taken and dropped until the help
/// window's own close request, then the window is destroyed. The main window stays enabled and
/// its controls move, but the program does not act on them meanwhile. UI thread.
void showHelp(EventSource& events);

}  // namespace vireon::ui
