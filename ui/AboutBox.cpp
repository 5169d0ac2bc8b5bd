// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AboutBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <vector>

namespace vireon::ui {

void showAbout(QWidget* owner) {
    if (owner == nullptr) {
        owner = QApplication::activeWindow();
    }

    // Not a child of the owner: disabling the owner would disable the box with it.
    QMessageBox box;
    box.setObjectName(QString::fromLatin1(kAboutBoxName));
    box.setWindowTitle(QStringLiteral("About"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    QString text =
        QString::fromLatin1(kAboutText.data(), static_cast<qsizetype>(kAboutText.size()));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (owner != nullptr) {
        // Still kept above its owner by the window manager.
        box.winId();
        box.windowHandle()->setTransientParent(owner->window()->windowHandle());
    }

    // Modality alone only blocks input; disabled windows also look unavailable until the box
    // is gone. Windows that were disabled already stay so afterwards.
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &box && window->isVisible() && window->isEnabled()) {
            window->setEnabled(false);
            disabled.emplace_back(window);
        }
    }
    box.exec();
    for (const QPointer<QWidget>& window : disabled) {
        if (window) {
            window->setEnabled(true);
        }
    }
}

}  // namespace vireon::ui
