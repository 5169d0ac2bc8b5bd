// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KeyboardWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <array>
#include <set>

#include "midi/MidiMessage.h"
#include "ui/MainWindow.h"
#include "ui/PianoKeys.h"
#include "ui/ScopeView.h"

namespace vireon::ui {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr int kOctave = 12;

// Two octaves on two rows of the computer keyboard, laid out like piano keys: the lower row's
// letters are the white keys, the row above them the black ones.
constexpr std::array<int, 24> kNoteKeys{
    Qt::Key_Z, Qt::Key_S, Qt::Key_X, Qt::Key_D, Qt::Key_C, Qt::Key_V, Qt::Key_G, Qt::Key_B,
    Qt::Key_H, Qt::Key_N, Qt::Key_J, Qt::Key_M, Qt::Key_Q, Qt::Key_2, Qt::Key_W, Qt::Key_3,
    Qt::Key_E, Qt::Key_R, Qt::Key_5, Qt::Key_T, Qt::Key_6, Qt::Key_Y, Qt::Key_7, Qt::Key_U};

int semitoneOf(int key) {
    for (std::size_t i = 0; i < kNoteKeys.size(); ++i) {
        if (kNoteKeys[i] == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString noteName(int note) {
    static constexpr std::array<const char*, kOctave> kNames{"C",  "C#", "D",  "D#", "E",  "F",
                                                             "F#", "G",  "G#", "A",  "A#", "B"};
    return QString::fromLatin1(kNames[static_cast<std::size_t>(note % kOctave)]) +
           QString::number(note / kOctave - 1);
}

constexpr int kMargin = 10;
constexpr int kLabelHeight = 20;
constexpr int kScopeHeight = 130;

}  // namespace

KeyboardWindow::KeyboardWindow(NoteSender send, audio::ScopeTap& tap,
                               std::function<void(audio::ScopeTap*)> attachScope)
    : QWidget(nullptr), send_(std::move(send)) {
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
    shiftOctave(0);
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
    const std::map<int, int> held = std::exchange(heldKeys_, {});
    for (const auto& [key, note] : held) {
        noteOff(note);
    }
    showHeldKeys();
}

void KeyboardWindow::shiftOctave(int octaves) {
    baseNote_ = std::clamp(baseNote_ + octaves * kOctave, kLowestBase, kHighestBase);
    keys_->setLowestNote(baseNote_);
    octaveLabel_->setText(QStringLiteral("Keys Z to M from %1, Q to U from %2.   Octave: - and +")
                              .arg(noteName(baseNote_), noteName(baseNote_ + kOctave)));
}

void KeyboardWindow::showHeldKeys() {
    std::set<int> notes;
    for (const auto& [key, note] : heldKeys_) {
        notes.insert(note);
    }
    keys_->setHeldElsewhere(std::move(notes));
}

void KeyboardWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Minus || key == Qt::Key_Plus || key == Qt::Key_Equal) {
        if (!event->isAutoRepeat()) {
            shiftOctave(key == Qt::Key_Minus ? -1 : 1);
        }
        return;
    }
    const int semitone = semitoneOf(key);
    if (semitone < 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A held key repeats; it still plays once. Some systems do not mark the repeats.
    if (event->isAutoRepeat() || heldKeys_.contains(key)) {
        return;
    }
    const int note = baseNote_ + semitone;
    heldKeys_.emplace(key, note);
    noteOn(note);
    showHeldKeys();
}

void KeyboardWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        return;
    }
    const auto held = heldKeys_.find(event->key());
    if (held == heldKeys_.end()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    const int note = held->second;
    heldKeys_.erase(held);
    noteOff(note);
    showHeldKeys();
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
