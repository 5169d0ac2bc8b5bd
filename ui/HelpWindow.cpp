// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HelpWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <vector>

#include "controls/WindowNumbers.h"
#include "ui/EventSource.h"
#include "text/ProgramTexts.h"
#include "ui/MainWindow.h"

namespace vireon::ui {

using text::helpText;

namespace {

constexpr UiEvent kHelpCloseRequest{UiEvent::Kind::CloseRequest, kHelpWindow};

/// The help text with each carriage return turned into the line break the text box understands.
QString helpTextForDisplay() {
    QString text = QString::fromLatin1(helpText());
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

/// Removes the help window's own requests that are still queued once it is gone, and keeps
/// everything else in its order.
void dropHelpWindowEvents(EventSource& events) {
    std::vector<UiEvent> kept;
    while (!events.empty()) {
        const UiEvent event = events.waitForEvent();
        if (event != kHelpCloseRequest) {
            kept.push_back(event);
        }
    }
    for (const UiEvent& event : kept) {
        events.post(event);
    }
}

}  // namespace

HelpWindow::HelpWindow(EventSource& events)
    : QWidget(nullptr), events_(events), textBox_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("vireonHelpWindow"));
    setUpFixedWindow(*this, QStringLiteral("Vireon Help"), QSize(kClientWidth, kClientHeight));

    textBox_->setGeometry(5, 5, 610, 360);
    textBox_->setReadOnly(true);
    textBox_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    textBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    textBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textBox_->setPlainText(helpTextForDisplay());
}

void HelpWindow::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    events_.post(kHelpCloseRequest);
}

void showHelp(EventSource& events) {
    if (QGuiApplication::primaryScreen() == nullptr) {
        return;
    }
    {
        HelpWindow window(events);
        centreOnScreen(window);
        window.show();
        centreOnScreen(window);
        window.raise();
        window.activateWindow();

        while (events.waitForEvent() != kHelpCloseRequest) {
            // Whatever the main window produces meanwhile is dropped on purpose.
        }
    }
    dropHelpWindowEvents(events);
}

}  // namespace vireon::ui
