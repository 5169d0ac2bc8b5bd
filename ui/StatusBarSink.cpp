#include "ui/StatusBarSink.h"

#include <QMetaObject>
#include <string>

#include "ui/MainWindow.h"

namespace vireon::ui {

void StatusBarSink::reportNoteStatus(std::string_view text) {
    MainWindow* window = &window_;
    // The window is the call's context: Qt runs the call on the window's thread and drops it if
    // the window is gone by then.
    QMetaObject::invokeMethod(
        window,
        [window, copy = std::string(text)] {
            if (window->hasStatusBar()) {
                window->setStatusText(kNoteStatusField, copy);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace vireon::ui
