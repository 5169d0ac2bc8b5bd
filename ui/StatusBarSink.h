#pragma once

#include <string_view>

#include "midi/MidiNoteHandler.h"

namespace vireon::ui {

class MainWindow;

/// Carries the note handler's status text ("On", "Off") from the MIDI thread to status field 1.
/// The MIDI thread only queues a copy of the text and returns; the main window's thread writes
/// it, if the window still has a status bar by then.
class StatusBarSink final : public midi::StatusSink {
  public:
    /// `window` must outlive every call of reportNoteStatus. UI thread.
    explicit StatusBarSink(MainWindow& window) : window_(window) {}

    /// Queues the text for status field 1 and returns at once, never waiting for the UI thread.
    /// MIDI thread (any thread).
    void reportNoteStatus(std::string_view text) override;

  private:
    MainWindow& window_;
};

}  // namespace vireon::ui
