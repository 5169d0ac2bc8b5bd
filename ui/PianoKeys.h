// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <functional>
#include <set>

namespace vireon::ui {

/// Two octaves and a top C of piano keys, played with the mouse: a press plays the key under
/// it, dragging onto another key plays that one legato (the new note starts before the old one
/// ends, so the envelope goes on), letting go ends the note. Keys held by any means are drawn
/// pressed.
class PianoKeys : public QWidget {
  public:
    static constexpr int kKeyCount = 25;

    /// `noteOn` and `noteOff` receive MIDI note numbers.
    PianoKeys(std::function<void(int)> noteOn, std::function<void(int)> noteOff,
              QWidget* parent = nullptr);

    /// The note of the leftmost key; the keys shown move with it.
    void setLowestNote(int note);
    int lowestNote() const { return lowestNote_; }

    /// Where the key of `note` is drawn (its visible part for a white key); empty when the
    /// note is not shown.
    QRect keyRect(int note) const;
    /// The note under `point`, or -1.
    int noteAt(QPoint point) const;

    /// Which notes are drawn pressed: those the mouse holds and those given here.
    void setHeldElsewhere(std::set<int> notes);
    bool isDrawnPressed(int note) const;

    /// Ends the note the mouse holds, if any.
    void releaseMouseNote();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    std::function<void(int)> noteOn_;
    std::function<void(int)> noteOff_;
    int lowestNote_ = 60;
    int mouseNote_ = -1;
    std::set<int> heldElsewhere_;
};

}  // namespace vireon::ui
