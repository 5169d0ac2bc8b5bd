// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <string>
#include <string_view>

class QLineEdit;
class QToolButton;

namespace vireon::ui {

class EventSource;

/// The Disorder box: a text field with up and down arrows whose position and text are two
/// separate values. The arrows and the Up and Down keys step the position and never touch the
/// text; the event loop decides what the text shows. Every user action on the box (a step, the
/// text field gaining or losing focus, an edit) posts a Control event for `id`.
class DisorderSpinBox : public QWidget {
    Q_OBJECT

  public:
    /// Creates the box with its text field and arrows laid out within `geometry`.
    DisorderSpinBox(EventSource& events, int id, int minimum, int maximum, const QRect& geometry,
                    QWidget* parent);

    int position() const { return position_; }
    /// Sets the position, held within the range. Posts nothing.
    void setPosition(int position);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    /// The text field's text as 8-bit bytes, exactly as set or typed.
    std::string text() const;
    /// Replaces the whole text. Posts nothing.
    void setText(std::string_view text);

    QLineEdit* textField() const { return edit_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void step(int delta);

    EventSource& events_;
    const int id_;
    const int minimum_;
    const int maximum_;
    int position_;
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace vireon::ui
