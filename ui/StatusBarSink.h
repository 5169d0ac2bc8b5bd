// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "midi/MidiNoteHandler.h"

namespace vireon::ui {

class MainWindow;

/// Carries the note handler's status text ("On", "Off") from the MIDI thread to status field 1.
/// The MIDI thread only leaves the text and, when no update is on its way yet, queues one; the
/// main window's thread then shows the latest text, if the window still has a status bar.
/// A flood of messages therefore costs one queued update at a time, not one per message.
class StatusBarSink final : public midi::StatusSink {
  public:
    /// `window` must outlive every call of reportNoteStatus. UI thread.
    explicit StatusBarSink(MainWindow& window);

    /// Hands the text over and returns at once, never waiting for the UI thread.
    /// MIDI thread (any thread).
    void reportNoteStatus(std::string_view text) override;

    /// The longest text that travels without allocating; longer ones are queued one by one.
    static constexpr std::size_t kShortTextBytes = 7;

  private:
    // Shared with the queued updates, which may run after the sink is gone.
    struct Mailbox {
        std::atomic<std::uint64_t> latest{0};  // up to 7 bytes of text and its length
        std::atomic<bool> updatePending{false};
    };

    MainWindow& window_;
    std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace vireon::ui
