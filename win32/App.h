// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "live/LiveInstrument.h"
#include "settings/LatencyFile.h"

namespace vireon::midi {
class MidiInput;
class MidiPorts;
}  // namespace vireon::midi

namespace vireon::desktop {
class WindowEvents;
}  // namespace vireon::desktop

namespace vireon::win32 {

class KeyboardWindow;
class MainWindow;
class PlayingWindow;
class WasapiOutput;

/// The program on Windows: brings up the settings, the sound, the window and MIDI input in that
/// order, runs the one event loop that turns the window's events into the instrument's controls,
/// and shuts everything down in order. UI thread.
class App {
  public:
    /// Plays `instrument` through `audio`, with MIDI input from `midiPorts`; all must outlive
    /// the App.
    App(live::LiveInstrument& instrument, WasapiOutput& audio, midi::MidiPorts& midiPorts);
    ~App();

    /// The latency for this run whatever the latency file says (the command line's choice); the
    /// file keeps the one chosen in the window. Call before run().
    void setLatencyOverride(std::optional<settings::Latency> latency) {
        latencyOverride_ = latency;
    }

    /// The whole program; returns its exit status, always 0.
    int run();

  private:
    void runEventLoop(MainWindow& window, midi::MidiInput& midiInput);
    void showKeyboardWindow();
    void chooseLatency(MainWindow& window, settings::Latency latency);

    live::LiveInstrument& instrument_;
    WasapiOutput& audio_;
    midi::MidiPorts& midiPorts_;
    std::optional<settings::Latency> latencyOverride_;
    settings::Latency latency_ = settings::Latency::Standard;
    std::filesystem::path latencyFile_;
    // The window's events as the instrument takes them, from the controllers' loading on.
    std::unique_ptr<desktop::WindowEvents> windowEvents_;
    // Made with the main window and hidden until asked for, so that the playing controls have
    // their positions for the sounds all along.
    std::unique_ptr<PlayingWindow> playingWindow_;
    // Made when first asked for; it outlives the sound, whose scope it may be watching.
    std::unique_ptr<KeyboardWindow> keyboardWindow_;
};

}  // namespace vireon::win32
