// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EventSource.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace vireon::ui {

void EventSource::post(UiEvent event) {
    queue_.push_back(event);
}

UiEvent EventSource::waitForEvent() {
    while (queue_.empty()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const UiEvent event = queue_.front();
    queue_.pop_front();
    return event;
}

std::optional<UiEvent> EventSource::waitForEvent(std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout, Qt::PreciseTimer);
    // The timer only wakes the toolkit's wait when nothing else does.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(timeout);
    while (queue_.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (queue_.empty()) {
        return std::nullopt;
    }
    const UiEvent event = queue_.front();
    queue_.pop_front();
    return event;
}

void EventSource::serveOnce(std::chrono::milliseconds timeout) {
    (void)waitForEvent(timeout);
}

}  // namespace vireon::ui
