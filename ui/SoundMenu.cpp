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

#include "settings/Platform.h"
#include "sounds/SoundFile.h"
#include "sounds/SoundFormat.h"
#include "controls/WindowNumbers.h"
#include "ui/EventSource.h"
#include "ui/MainWindow.h"
#include "ui/PlayingWindow.h"

namespace vireon::ui {
namespace {

using Control = controls::ControlId;

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

SoundMenu::SoundMenu(MainWindow& window, PlayingWindow& playing, EventSource& events,
                     std::int64_t disorderInEffect)
    : window_(window),
      playing_(playing),
      events_(events),
      disorderInEffect_(disorderInEffect),
      folder_(sounds::userSoundsFolder()) {}

sounds::Sound SoundMenu::current() const {
    sounds::Sound sound{name_, description_, {}};
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        if (controls::isPlayingControl(control)) {
            sound.positions[i] = playing_.position(control);
        } else if (const std::optional<ControlId> slider = MainWindow::sliderFor(control)) {
            sound.positions[i] = window_.sliderValue(*slider);
        }
    }
    sound.positions[static_cast<std::size_t>(Control::Disorder)] = window_.spinValue(kDisorderSpin);
    return sound;
}

void SoundMenu::choose(const sounds::Sound& sound) {
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        const std::optional<ControlId> slider = MainWindow::sliderFor(control);
        const int position = sound.position(control);
        if (controls::isPlayingControl(control)) {
            // Straight to the sound, as the Playing window's own moves go.
            playing_.setPosition(control, position);
        } else if (slider && window_.sliderValue(*slider) != position) {
            window_.setSliderValue(*slider, position);
            // The same event a move by the user posts: the loop applies it as it applies that.
            events_.post({UiEvent::Kind::Control, *slider});
        }
    }
    // Disorder is read only at start-up: the box holds the sound's value, which is saved at
    // exit as usual, and the status bar says when the sound is not yet the one playing.
    const int disorder = sound.position(Control::Disorder);
    window_.setSpinValue(kDisorderSpin, disorder);
    window_.setControlText(kDisorderSpin, std::to_string(disorder));
    name_ = sound.name;
    description_ = sound.description;
    window_.setStatusMessage(disorder == disorderInEffect_
                                 ? sound.name
                                 : sound.name + ": Disorder " + std::to_string(disorder) +
                                       " from the next start");
}

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
    choose(std::get<sounds::Sound>(read));
}

void SoundMenu::save() {
    sounds::Sound sound = current();
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
    name_ = sound.name;
    description_ = sound.description;
    window_.setStatusMessage("Saved " + sound.name);
}

}  // namespace vireon::ui
