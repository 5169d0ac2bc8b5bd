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
    // The library's text names the failure, not the way out: most often no sound server runs.
    box.setInformativeText(QStringLiteral(
        "Start your desktop's sound server (PipeWire or PulseAudio) or a JACK server, or connect "
        "a sound card, then start Vireon again."));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace vireon::ui
