// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <deque>
#include <optional>

#include "ui/UiEvent.h"

namespace vireon::ui {

/// Turns the toolkit's signals into a queue of UiEvents that the program's own loops take one at
/// a time, so each loop reads as: wait for the next event, look at its kind and number, act.
/// Widgets post events from their signal handlers. UI thread only.
class EventSource {
  public:
    /// Queues an event. Called by widgets while the toolkit dispatches a user action.
    void post(UiEvent event);

    /// Waits without a time limit for the next event, serving the toolkit (painting, input,
    /// queued calls from other threads) meanwhile.
    UiEvent waitForEvent();

    /// Waits at most `timeout` for the next event. Returns nothing when none came in time.
    std::optional<UiEvent> waitForEvent(std::chrono::milliseconds timeout);

    /// Serves the toolkit for up to `timeout` and takes at most one queued event, which is
    /// dropped: the shutdown wait keeps windows responsive without acting on anything.
    void serveOnce(std::chrono::milliseconds timeout);

    /// Drops every queued event.
    void clear() { queue_.clear(); }

    bool empty() const { return queue_.empty(); }

  private:
    std::deque<UiEvent> queue_;
};

}  // namespace vireon::ui
