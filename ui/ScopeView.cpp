// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScopeView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <vector>

#include "ui/Look.h"

namespace vireon::ui {
namespace {

// Full scale fills 90% of the half height; the shortest attacks overshoot a little.
constexpr double kFullScale = 0.9;
constexpr float kClip = 1.1f;
constexpr double kCornerRadius = 6.0;

}  // namespace

ScopeView::ScopeView(live::ScopeTap& tap, std::function<void(live::ScopeTap*)> attach,
                     QWidget* parent)
    : QWidget(parent), tap_(tap), attach_(std::move(attach)) {
    timer_.setInterval(kRepaintMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
}

ScopeView::~ScopeView() {
    if (attached_) {
        attach_(nullptr);
    }
}

void ScopeView::refresh() {
    trace_.take(tap_);
    update();
}

void ScopeView::showEvent(QShowEvent* /*event*/) {
    // Whatever waited from an earlier showing is stale.
    trace_.take(tap_);
    trace_ = live::ScopeTrace();
    attach_(&tap_);
    attached_ = true;
    timer_.start();
}

void ScopeView::hideEvent(QHideEvent* /*event*/) {
    timer_.stop();
    attach_(nullptr);
    attached_ = false;
}

void ScopeView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // The page's scope: a dark green screen with rounded corners on the panel.
    QLinearGradient screen(0, 0, 0, height());
    screen.setColorAt(0, QColor(look::kScopeTop));
    screen.setColorAt(1, QColor(look::kScopeBottom));
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(look::kScopeEdge));
    painter.setBrush(screen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                            kCornerRadius);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double middle = height() / 2.0;
    painter.setPen(QColor(look::kScopeEdge));
    painter.drawLine(QPointF(1, middle), QPointF(width() - 2, middle));

    const std::span<const float> samples = trace_.visible();
    const std::size_t span = trace_.spanSamples();
    if (samples.size() < 2 || span < 2) {
        return;
    }
    // A plain polyline: antialiasing and a wide pen made a repaint nearly a hundred times
    // dearer (vireon_scope_bench).
    QPolygonF trace;
    trace.reserve(static_cast<qsizetype>(samples.size()));
    const double step = static_cast<double>(width() - 1) / static_cast<double>(span - 1);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float sample = std::clamp(samples[i], -kClip, kClip);
        trace.append(
            QPointF(static_cast<double>(i) * step, middle - sample * kFullScale * (middle - 1.0)));
    }
    painter.setPen(QColor(look::kScopeTrace));
    painter.drawPolyline(trace);
}

}  // namespace vireon::ui
