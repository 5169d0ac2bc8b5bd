// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DisorderSpinBox.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <limits>
#include <string>

#include "ui/EventSource.h"

namespace vireon::ui {

DisorderSpinBox::DisorderSpinBox(EventSource& events, int id, int minimum, int maximum,
                                 const QRect& geometry, QWidget* parent)
    : QWidget(parent),
      events_(events),
      id_(id),
      minimum_(minimum),
      maximum_(maximum),
      position_(minimum),
      edit_(new QLineEdit(this)),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    setGeometry(geometry);

    // The arrows are half as wide as the box is high; the text field takes the rest.
    const int arrowWidth = geometry.height() / 2;
    const int fieldWidth = geometry.width() - arrowWidth;
    const int upHeight = geometry.height() / 2;

    edit_->setGeometry(0, 0, fieldWidth, geometry.height());
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit_->setFrame(true);
    // The stored text may be longer than a line edit's default limit; cutting it would change
    // what is saved at exit.
    edit_->setMaxLength(std::numeric_limits<int>::max());
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textEdited, this, [this] {
        events_.post({UiEvent::Kind::Control, id_});
    });

    for (QToolButton* arrow : {up_, down_}) {
        arrow->setArrowType(arrow == up_ ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
    }
    up_->setGeometry(fieldWidth, 0, arrowWidth, upHeight);
    down_->setGeometry(fieldWidth, upHeight, arrowWidth, geometry.height() - upHeight);
    // A step happens when an arrow goes down and again on each auto-repeat, which re-emits
    // pressed(); waiting for the release would make a held arrow feel dead.
    connect(up_, &QToolButton::pressed, this, [this] { step(+1); });
    connect(down_, &QToolButton::pressed, this, [this] { step(-1); });
}

void DisorderSpinBox::setPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
}

std::string DisorderSpinBox::text() const {
    return edit_->text().toLatin1().toStdString();
}

void DisorderSpinBox::setText(std::string_view text) {
    edit_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void DisorderSpinBox::step(int delta) {
    setPosition(position_ + delta);
    // Posted even when the position is already at an end, so the event loop still brings the text
    // up to date with the position the user is pushing against.
    events_.post({UiEvent::Kind::Control, id_});
}

bool DisorderSpinBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        switch (event->type()) {
            case QEvent::KeyPress: {
                const auto* key = static_cast<QKeyEvent*>(event);
                if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                    step(key->key() == Qt::Key_Up ? +1 : -1);
                    return true;
                }
                break;
            }
            case QEvent::FocusIn:
            case QEvent::FocusOut:
                // A popup (a menu, the device list) only borrows the focus for a moment; the
                // user has not entered or left the box.
                if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
                    events_.post({UiEvent::Kind::Control, id_});
                }
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vireon::ui
