// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KeyboardWindow.h"

#include <QKeyEvent>
#include <QLabel>

#include "midi/MidiMessage.h"
#include "ui/MainWindow.h"
#include "ui/PianoKeys.h"
#include "ui/ScopeView.h"

namespace vireon::ui {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;

constexpr int kMargin = 10;
constexpr int kLabelHeight = 20;
constexpr int kScopeHeight = 130;

}  // namespace

KeyboardWindow::KeyboardWindow(NoteSender send, live::ScopeTap& tap,
                               std::function<void(live::ScopeTap*)> attachScope)
    : QWidget(nullptr), send_(std::move(send)), computerKeys_(send_) {
    keys_ = new PianoKeys([this](int note) { noteOn(note); }, [this](int note) { noteOff(note); },
                          this);
    const int width = keys_->width() + 2 * kMargin;
    setUpFixedWindow(
        *this, QStringLiteral("Vireon keyboard"),
        QSize(width, kMargin + kLabelHeight + keys_->height() + kMargin + kScopeHeight + kMargin));
    octaveLabel_ = new QLabel(this);
    octaveLabel_->setGeometry(kMargin, kMargin / 2, keys_->width(), kLabelHeight);
    keys_->move(kMargin, kMargin + kLabelHeight);
    scope_ = new ScopeView(tap, std::move(attachScope), this);
    scope_->setGeometry(kMargin, keys_->geometry().bottom() + 1 + kMargin, keys_->width(),
                        kScopeHeight);
    // The window itself takes the keys; nothing inside it may take the focus away.
    setFocusPolicy(Qt::StrongFocus);
    keys_->setFocusPolicy(Qt::NoFocus);
    showKeys();
}

KeyboardWindow::~KeyboardWindow() {
    releaseAllNotes();
}

void KeyboardWindow::noteOn(int note) {
    send_(midi::packShortMessage(kNoteOn, static_cast<std::uint8_t>(note), kVelocity));
}

void KeyboardWindow::noteOff(int note) {
    send_(midi::packShortMessage(kNoteOff, static_cast<std::uint8_t>(note), 0));
}

void KeyboardWindow::releaseAllNotes() {
    keys_->releaseMouseNote();
    computerKeys_.releaseAll();
    showKeys();
}

void KeyboardWindow::showKeys() {
    keys_->setLowestNote(computerKeys_.baseNote());
    keys_->setHeldElsewhere(computerKeys_.heldNotes());
    octaveLabel_->setText(QString::fromStdString(computerKeys_.hint()));
}

void KeyboardWindow::keyPressEvent(QKeyEvent* event) {
    if (!computerKeys_.press(event->key(), event->isAutoRepeat())) {
        QWidget::keyPressEvent(event);
        return;
    }
    showKeys();
}

void KeyboardWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        return;
    }
    if (!computerKeys_.release(event->key())) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    showKeys();
}

// The release of a key pressed here goes to whichever window has the focus by then: without
// ending the notes now, they would hang on.
void KeyboardWindow::focusOutEvent(QFocusEvent* event) {
    releaseAllNotes();
    QWidget::focusOutEvent(event);
}

void KeyboardWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        releaseAllNotes();
    }
    QWidget::changeEvent(event);
}

void KeyboardWindow::hideEvent(QHideEvent* event) {
    releaseAllNotes();
    QWidget::hideEvent(event);
}

}  // namespace vireon::ui
