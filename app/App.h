// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "devices/audio/AudioStream.h"
#include "devices/midi/MidiPorts.h"
#include "live/LiveInstrument.h"
#include "settings/LatencyFile.h"
#include "ui/EventSource.h"

namespace vireon::desktop {
class WindowEvents;
}  // namespace vireon::desktop

namespace vireon::midi {
class MidiInput;
class VirtualMidiInput;
}  // namespace vireon::midi

namespace vireon::ui {
class KeyboardWindow;
class LatencyMenu;
class MainWindow;
class PlayingWindow;
class SoundMenu;
}  // namespace vireon::ui

namespace vireon::app {

class ServerWatch;

/// The whole program on the user-interface thread: brings the system up in a fixed order, runs
/// the event loop that turns control and menu events into the instrument's events, and shuts
/// down in a fixed order. The toolkit must be initialised before run() is called.
class App {
  public:
    /// `instrument` is the one that `audio` plays and `midiPorts` delivers to. `settingsFile`
    /// overrides the settings file's location (tests); without it the location is worked out
    /// afresh at load and at save.
    App(live::LiveInstrument& instrument, audio::AudioStream& audio, midi::MidiPorts& midiPorts,
        std::optional<std::filesystem::path> settingsFile = std::nullopt);

    ~App();

    /// Runs the program to its end and returns the exit code, always 0. When the audio or MIDI
    /// system stops responding at shutdown, the process is ended at once after the settings
    /// are saved.
    int run();

    /// Vireon's own MIDI input, offered from the start of run() (before the audio library
    /// comes up) until shutdown. Without one, only the device list and the on-screen keyboard play.
    /// Call before run().
    void setOwnMidiInput(midi::VirtualMidiInput* input) { ownMidiInput_ = input; }

    /// The latency for this run whatever the latency file says (the command line's choice); the
    /// file keeps the one chosen in the window. Call before run().
    void setLatencyOverride(std::optional<settings::Latency> latency) {
        latencyOverride_ = latency;
    }

    /// The Audio menu while the event loop runs; null otherwise. For tests.
    ui::LatencyMenu* latencyMenu() const { return latencyMenu_; }

    /// The event source the windows post to; tests post events through it.
    ui::EventSource& events() { return events_; }

    /// The on-screen keyboard once it has been opened, until the event loop ends. For tests.
    ui::KeyboardWindow* keyboardWindow() const { return keyboardWindow_.get(); }

    /// The main window from its creation until the event loop ends; null otherwise. For tests.
    ui::MainWindow* mainWindow() const { return mainWindow_; }

    /// The Playing window while the main window stands; null otherwise. For tests.
    ui::PlayingWindow* playingWindow() const { return playingWindow_.get(); }

    /// The Sounds menu's actions while the event loop runs; null otherwise. For tests.
    ui::SoundMenu* soundMenu() const { return soundMenu_; }

    /// The instrument that every source plays. Tests play notes through it.
    live::LiveInstrument& instrument() { return instrument_; }

  private:
    std::string loadDisorderText();
    void saveDisorderText(const std::string& text);
    void runEventLoop(ui::MainWindow& window, midi::MidiInput& midiInput, ServerWatch& watch);
    void showKeyboardWindow();
    void handleControlEvent(ui::MainWindow& window, midi::MidiInput& midiInput, ServerWatch& watch,
                            int control);
    void watchOutput(ui::MainWindow& window, ServerWatch& watch);
    void chooseLatency(ui::MainWindow& window, settings::Latency latency);
    void showPlayingWindow();
    bool midiLeftAClientBehind() const;

    live::LiveInstrument& instrument_;
    audio::AudioStream& audio_;
    midi::MidiPorts& midiPorts_;
    midi::VirtualMidiInput* ownMidiInput_ = nullptr;
    std::optional<std::filesystem::path> settingsFile_;
    // Fed by the audio callback while the keyboard window's scope shows; it outlives the
    // stream, as a block in progress may still reach it after the scope has let go.
    live::ScopeTap scopeTap_;
    std::unique_ptr<ui::KeyboardWindow> keyboardWindow_;
    // Made with the main window and hidden until asked for, so that the playing controls have
    // their positions for the sounds menu all along.
    std::unique_ptr<ui::PlayingWindow> playingWindow_;
    ui::EventSource events_;
    ui::MainWindow* mainWindow_ = nullptr;
    ui::SoundMenu* soundMenu_ = nullptr;
    ui::LatencyMenu* latencyMenu_ = nullptr;
    std::optional<settings::Latency> latencyOverride_;
    settings::Latency latency_ = settings::Latency::Standard;
    std::filesystem::path latencyFile_;
    bool noSoundShown_ = false;
    // The window's events as the instrument takes them, from the controllers' loading on.
    std::unique_ptr<desktop::WindowEvents> windowEvents_;
};

}  // namespace vireon::app
