// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LatencyMenu.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "controls/WindowNumbers.h"
#include "desktop/WindowEvents.h"
#include "ui/EventSource.h"
#include "ui/MainWindow.h"

namespace vireon::ui {

namespace {

QString entryName(settings::Latency latency) {
    return QString::fromStdString(desktop::latencyEntryText(latency, false, std::nullopt));
}

}  // namespace

LatencyMenu::LatencyMenu(MainWindow& window, EventSource& events) {
    QMenuBar* bar = window.menuBar();
    if (bar == nullptr) {
        return;
    }
    QMenu* menu = bar->addMenu(QStringLiteral("Audio"));
    auto* group = new QActionGroup(menu);
    const auto add = [&](const QString& name, int number) {
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, menu, [&events, number] {
            events.post({UiEvent::Kind::Menu, number});
        });
        return action;
    };
    standard_ = add(entryName(settings::Latency::Standard), kMenuStandardLatency);
    low_ = add(entryName(settings::Latency::Low), kMenuLowLatency);
}

void LatencyMenu::show(settings::Latency chosen, std::optional<double> seconds) {
    if (standard_ == nullptr) {
        return;
    }
    // Called a few times a second: an open menu repaints only when something changed.
    const auto showEntry = [&](QAction* action, settings::Latency latency) {
        const bool inUse = latency == chosen;
        const QString text =
            QString::fromStdString(desktop::latencyEntryText(latency, inUse, seconds));
        if (action->text() != text) {
            action->setText(text);
        }
        if (inUse && !action->isChecked()) {
            action->setChecked(true);
        }
    };
    showEntry(standard_, settings::Latency::Standard);
    showEntry(low_, settings::Latency::Low);
}

QAction* LatencyMenu::entry(settings::Latency latency) const {
    return latency == settings::Latency::Low ? low_ : standard_;
}

}  // namespace vireon::ui
