// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SoundMenu.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <array>
#include <variant>

#include "desktop/WindowEvents.h"
#include "settings/Platform.h"
#include "sounds/SoundFile.h"
#include "sounds/SoundFormat.h"
#include "ui/MainWindow.h"

namespace vireon::ui {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString fileFilter() {
    return QStringLiteral("Vireon sounds (*%1);;All files (*)")
        .arg(QString::fromLatin1(sounds::kSoundFileExtension.data(),
                                 static_cast<qsizetype>(sounds::kSoundFileExtension.size())));
}

std::filesystem::path pathOf(const QString& fileName) {
    return std::filesystem::path(fileName.toStdString());
}

/// Asks for a sound's name and description; false when the user cancels.
bool askNameAndDescription(QWidget* parent, std::string& name, std::string& description) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Save sound"));
    auto* form = new QFormLayout(&dialog);
    auto* nameField = new QLineEdit(fromUtf8(name), &dialog);
    auto* descriptionField = new QLineEdit(fromUtf8(description), &dialog);
    nameField->setMaxLength(static_cast<int>(sounds::kMaxNameBytes));
    descriptionField->setMaxLength(static_cast<int>(sounds::kMaxDescriptionBytes));
    form->addRow(QStringLiteral("Name:"), nameField);
    form->addRow(QStringLiteral("Description:"), descriptionField);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    name = nameField->text().trimmed().toStdString();
    description = descriptionField->text().trimmed().toStdString();
    return true;
}

/// A file name made from a sound's name: what the save dialog proposes.
QString proposedFileName(const std::string& name) {
    QString base = fromUtf8(name).trimmed();
    base.replace(QLatin1Char('/'), QLatin1Char('-'));
    if (base.isEmpty() || base.startsWith(QLatin1Char('.'))) {
        base.prepend(QStringLiteral("sound"));
    }
    return base + QString::fromLatin1(sounds::kSoundFileExtension.data(),
                                      static_cast<qsizetype>(sounds::kSoundFileExtension.size()));
}

}  // namespace

SoundMenu::SoundMenu(MainWindow& window, desktop::WindowEvents& events)
    : window_(window), events_(events), folder_(sounds::userSoundsFolder()) {}

void SoundMenu::open() {
    const QString fileName =
        QFileDialog::getOpenFileName(&window_, QStringLiteral("Open sound"),
                                     QString::fromStdString(folder_.string()), fileFilter());
    if (fileName.isEmpty()) {
        return;
    }
    sounds::ParsedSound read = sounds::readSoundFile(pathOf(fileName));
    if (const auto* problem = std::get_if<std::string>(&read)) {
        QMessageBox::warning(&window_, QStringLiteral("Open sound"),
                             QStringLiteral("The sound file \"%1\" cannot be opened: %2. Nothing "
                                            "was changed.")
                                 .arg(fileName, fromUtf8(*problem)));
        return;
    }
    events_.choose(std::get<sounds::Sound>(read));
}

void SoundMenu::save() {
    sounds::Sound sound = events_.current();
    if (!askNameAndDescription(&window_, sound.name, sound.description)) {
        return;
    }
    if (const std::string problem = sounds::checkSound(sound); !problem.empty()) {
        QMessageBox::warning(&window_, QStringLiteral("Save sound"),
                             QStringLiteral("The sound cannot be saved: %1. Nothing was saved.")
                                 .arg(fromUtf8(problem)));
        return;
    }
    // The user's sounds folder is made on first use, like the settings folder.
    settings::platform::createFolders(folder_);
    const QString proposed =
        QString::fromStdString((folder_ / pathOf(proposedFileName(sound.name))).string());
    QString fileName = QFileDialog::getSaveFileName(&window_, QStringLiteral("Save sound"),
                                                    proposed, fileFilter());
    if (fileName.isEmpty()) {
        return;
    }
    if (const std::string problem = sounds::saveSoundFile(pathOf(fileName), sound);
        !problem.empty()) {
        QMessageBox::warning(&window_, QStringLiteral("Save sound"),
                             QStringLiteral("The sound could not be saved as \"%1\": %2. Any file "
                                            "there is as it was.")
                                 .arg(fileName, fromUtf8(problem)));
        return;
    }
    events_.saved(sound);
}

}  // namespace vireon::ui
