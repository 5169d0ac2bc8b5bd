// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlayingWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <string>
#include <utility>

#include "ui/ControllerMenu.h"
#include "ui/MainWindow.h"

namespace vireon::ui {
namespace {

using Control = controls::ControlId;

constexpr int kSliderWidth = 200;
constexpr int kMargin = 10;

QString shownValue(const controls::Control& c, int position) {
    return QString::fromStdString(controls::valueText(c, position));
}

}  // namespace

PlayingWindow::PlayingWindow(EventSource& events, Move move) : QWidget(nullptr) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    int line = 0;
    for (std::size_t i = static_cast<std::size_t>(controls::kFirstPlayingControl);
         i < controls::kControlCount; ++i, ++line) {
        const auto control = static_cast<Control>(i);
        const controls::Control& c = controls::kControls[i];
        auto* label = new QLabel(QString::fromUtf8(c.label.data(), c.label.size()), this);
        grid->addWidget(label, line, 0);
        Row& row = rows_[i];
        QWidget* widget = nullptr;
        if (c.valueNames.empty()) {
            row.slider = new QSlider(Qt::Horizontal, this);
            row.slider->setRange(c.min, c.max);
            row.slider->setSingleStep(c.step);
            row.slider->setPageStep(std::max(c.step, (c.max - c.min) / 10));
            row.slider->setValue(c.initial);
            row.slider->setMinimumWidth(kSliderWidth);
            row.value = new QLabel(this);
            // Wide enough for the widest value, so that the fixed window never cuts one short.
            row.value->setMinimumWidth(
                std::max(row.value->fontMetrics().horizontalAdvance(shownValue(c, c.max)),
                         row.value->fontMetrics().horizontalAdvance(shownValue(c, c.max - 1))));
            grid->addWidget(row.value, line, 2);
            connect(row.slider, &QSlider::valueChanged, this, [this, move, control](int value) {
                showValue(control);
                move(control, value);
            });
            widget = row.slider;
            showValue(control);
        } else {
            row.choice = new QComboBox(this);
            for (const std::string_view name : c.valueNames) {
                row.choice->addItem(QString::fromUtf8(name.data(), name.size()));
            }
            row.choice->setCurrentIndex(c.initial - c.min);
            connect(row.choice, &QComboBox::currentIndexChanged, this,
                    [move, control, min = c.min](int index) { move(control, min + index); });
            widget = row.choice;
        }
        widget->setWhatsThis(QString::fromUtf8(c.description.data(), c.description.size()));
        label->setBuddy(widget);
        grid->addWidget(widget, line, 1);
        offerControllerMenu(widget, control, events, [this, i] { return controllers_[i]; });
    }
    setUpFixedWindow(*this, QStringLiteral("Playing"), grid->sizeHint());
}

int PlayingWindow::position(Control control) const {
    const Row& row = rows_[static_cast<std::size_t>(control)];
    if (row.slider != nullptr) {
        return row.slider->value();
    }
    if (row.choice != nullptr) {
        return controls::control(control).min + row.choice->currentIndex();
    }
    return 0;
}

void PlayingWindow::setPosition(Control control, int position) {
    const controls::Control& c = controls::control(control);
    const int held = std::clamp(position, c.min, c.max);
    Row& row = rows_[static_cast<std::size_t>(control)];
    if (row.slider != nullptr) {
        row.slider->setValue(held);
    } else if (row.choice != nullptr) {
        row.choice->setCurrentIndex(held - c.min);
    }
}

void PlayingWindow::showControllerMove(Control control, int position) {
    // The sound is there already: a second move from the widget's own notification could land
    // after the controller's next one and undo it.
    QWidget* widget = widgetFor(control);
    if (widget == nullptr) {
        return;
    }
    {
        const QSignalBlocker quiet(widget);
        setPosition(control, position);
    }
    showValue(control);
}

void PlayingWindow::showController(Control control, std::optional<int> controller) {
    controllers_[static_cast<std::size_t>(control)] = controller;
    if (QWidget* widget = widgetFor(control)) {
        widget->setToolTip(controller ? QStringLiteral("MIDI controller %1").arg(*controller)
                                      : QString());
    }
}

QWidget* PlayingWindow::widgetFor(Control control) const {
    const Row& row = rows_[static_cast<std::size_t>(control)];
    return row.slider != nullptr ? static_cast<QWidget*>(row.slider) : row.choice;
}

void PlayingWindow::showValue(Control control) {
    const Row& row = rows_[static_cast<std::size_t>(control)];
    if (row.value != nullptr) {
        row.value->setText(shownValue(controls::control(control), row.slider->value()));
    }
}

}  // namespace vireon::ui
