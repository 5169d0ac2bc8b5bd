// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusBar.h"

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>

#include "ui/Look.h"

namespace vireon::ui {

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
    // The window's font: this bar takes it over only once it is polished.
    const int height = std::max(kMinimumHeight, parent->fontMetrics().height() + 6);
    setGeometry(0, parent->height() - height, parent->width(), height);

    int left = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setProperty(kLampProperty, true);
        label->setGeometry(left, 0, kFieldWidths[i], height);
        left += kFieldWidths[i];
        fields_[i] = label;
    }
    message_ = new QLabel(this);
    message_->setTextFormat(Qt::PlainText);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    message_->setContentsMargins(4, 0, 4, 0);
    message_->setGeometry(left, 0, width() - left, height);
}

void StatusBar::setMessage(const QString& text) {
    messageText_ = text;
    const int room = message_->contentsRect().width();
    message_->setText(message_->fontMetrics().elidedText(text, Qt::ElideRight, room));
    message_->setToolTip(text);
}

void StatusBar::setText(int field, std::string_view text) {
    if (field < 0 || field >= static_cast<int>(fields_.size())) {
        return;
    }
    fields_[field]->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

QString StatusBar::text(int field) const {
    const QLabel* label = this->field(field);
    return label ? label->text() : QString();
}

QLabel* StatusBar::field(int index) const {
    if (index < 0 || index >= static_cast<int>(fields_.size())) {
        return nullptr;
    }
    return fields_[index];
}

}  // namespace vireon::ui
