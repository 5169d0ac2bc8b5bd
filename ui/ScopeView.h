// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "live/ScopeTap.h"
#include "live/ScopeTrace.h"

namespace vireon::ui {

/// The live scope: the output waveform of the last ~40 ms, repainted about 30 times a second
/// while shown. Showing it attaches the tap to the audio stream; hiding it detaches the tap, so
/// that the audio callback does nothing extra while nobody watches.
class ScopeView : public QWidget {
  public:
    static constexpr int kRepaintMilliseconds = 33;

    /// `attach` is called with `tap` when the scope is shown and with null when it is hidden.
    /// The tap must outlive the stream it is attached to.
    ScopeView(live::ScopeTap& tap, std::function<void(live::ScopeTap*)> attach,
              QWidget* parent = nullptr);
    ~ScopeView() override;

    /// Takes what the tap holds and repaints; the timer calls it while shown.
    void refresh();

    const live::ScopeTrace& trace() const { return trace_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    live::ScopeTap& tap_;
    std::function<void(live::ScopeTap*)> attach_;
    live::ScopeTrace trace_;
    QTimer timer_;
    bool attached_ = false;
};

}  // namespace vireon::ui
