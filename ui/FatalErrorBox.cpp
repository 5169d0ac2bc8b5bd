// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FatalErrorBox.h"

#include <QMessageBox>

namespace vireon::ui {

void showFatalAudioError(const std::string& text) {
    QMessageBox box;
    box.setObjectName(QString::fromLatin1(kFatalErrorBoxName));
    box.setWindowTitle(QStringLiteral("PortAudio"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace vireon::ui
