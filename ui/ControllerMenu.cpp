// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControllerMenu.h"

#include <QLineEdit>
#include <QMenu>
#include <memory>
#include <utility>

#include "ui/EventSource.h"

namespace vireon::ui {

void offerControllerMenu(QWidget* widget, controls::ControlId control, EventSource& events,
                         std::function<std::optional<int>()> boundController) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        widget, &QWidget::customContextMenuRequested, widget,
        [widget, control, &events, boundController = std::move(boundController)](QPoint at) {
            // A text field keeps its editing entries above the controller's.
            auto* field = qobject_cast<QLineEdit*>(widget);
            const std::unique_ptr<QMenu> menu(field ? field->createStandardContextMenu()
                                                    : new QMenu(widget));
            if (field) {
                menu->addSeparator();
            }
            const int number = static_cast<int>(control);
            QObject::connect(menu->addAction(QStringLiteral("Learn MIDI controller")),
                             &QAction::triggered, widget, [&events, number] {
                                 events.post({UiEvent::Kind::LearnController, number});
                             });
            const std::optional<int> controller = boundController();
            QAction* forget =
                menu->addAction(controller ? QStringLiteral("Forget controller %1").arg(*controller)
                                           : QStringLiteral("Forget controller"));
            // Also for a control without a controller: it ends a learning that waits for one.
            QObject::connect(forget, &QAction::triggered, widget, [&events, number] {
                events.post({UiEvent::Kind::ForgetController, number});
            });
            menu->exec(widget->mapToGlobal(at));
        });
}

}  // namespace vireon::ui
