// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PianoKeys.h"

#include <QMouseEvent>
#include <QPainter>
#include <array>

#include "ui/Look.h"

namespace vireon::ui {
namespace {

constexpr int kWhiteWidth = 24;
constexpr int kBlackWidth = 14;
constexpr int kBlackHeightPercent = 60;
constexpr int kSemitones = 12;
// Per semitone of an octave: whether it is a black key, and the white key it sits on or after.
constexpr std::array<bool, kSemitones> kBlack{false, true,  false, true,  false, false,
                                              true,  false, true,  false, true,  false};
constexpr std::array<int, kSemitones> kWhiteIndex{0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
constexpr int kWhitesPerOctave = 7;

}  // namespace

PianoKeys::PianoKeys(std::function<void(int)> noteOn, std::function<void(int)> noteOff,
                     QWidget* parent)
    : QWidget(parent), noteOn_(std::move(noteOn)), noteOff_(std::move(noteOff)) {
    setFixedSize(15 * kWhiteWidth + 1, 100);
}

void PianoKeys::setLowestNote(int note) {
    lowestNote_ = note;
    update();
}

QRect PianoKeys::keyRect(int note) const {
    const int offset = note - lowestNote_;
    if (offset < 0 || offset >= kKeyCount) {
        return {};
    }
    const int semitone = offset % kSemitones;
    const int white = offset / kSemitones * kWhitesPerOctave + kWhiteIndex[semitone];
    if (kBlack[semitone]) {
        return {(white + 1) * kWhiteWidth - kBlackWidth / 2, 0, kBlackWidth,
                height() * kBlackHeightPercent / 100};
    }
    return {white * kWhiteWidth, 0, kWhiteWidth, height()};
}

int PianoKeys::noteAt(QPoint point) const {
    // Black keys lie on top of the white ones.
    for (const bool black : {true, false}) {
        for (int offset = 0; offset < kKeyCount; ++offset) {
            const int note = lowestNote_ + offset;
            if (kBlack[offset % kSemitones] == black && keyRect(note).contains(point)) {
                return note;
            }
        }
    }
    return -1;
}

void PianoKeys::setHeldElsewhere(std::set<int> notes) {
    heldElsewhere_ = std::move(notes);
    update();
}

bool PianoKeys::isDrawnPressed(int note) const {
    return note == mouseNote_ || heldElsewhere_.contains(note);
}

void PianoKeys::releaseMouseNote() {
    if (mouseNote_ >= 0) {
        const int note = mouseNote_;
        mouseNote_ = -1;
        noteOff_(note);
        update();
    }
}

void PianoKeys::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QColor pressed = palette().color(QPalette::Highlight);
    for (const bool black : {false, true}) {
        for (int offset = 0; offset < kKeyCount; ++offset) {
            const int note = lowestNote_ + offset;
            if (kBlack[offset % kSemitones] != black) {
                continue;
            }
            const QColor colour = isDrawnPressed(note) ? pressed
                                  : black              ? QColor(look::kBlackKey)
                                                       : QColor(look::kWhiteKey);
            painter.setPen(QColor(look::kKeyEdge));
            painter.setBrush(colour);
            painter.drawRect(keyRect(note).adjusted(0, 0, black ? -1 : 0, -1));
        }
    }
}

void PianoKeys::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    releaseMouseNote();
    mouseNote_ = noteAt(event->position().toPoint());
    if (mouseNote_ >= 0) {
        noteOn_(mouseNote_);
        update();
    }
}

void PianoKeys::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const int note = noteAt(event->position().toPoint());
    if (note == mouseNote_) {
        return;
    }
    // The new key sounds before the old one lets go: legato, as a player sliding across keys.
    const int previous = mouseNote_;
    mouseNote_ = note;
    if (note >= 0) {
        noteOn_(note);
    }
    if (previous >= 0) {
        noteOff_(previous);
    }
    update();
}

void PianoKeys::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        releaseMouseNote();
    }
}

}  // namespace vireon::ui
