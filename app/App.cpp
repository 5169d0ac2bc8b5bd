// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/App.h"

#include <unistd.h>

#include <QTimer>

#include <chrono>
#include <cmath>
#include <string>

#include "app/ServerWatch.h"
#include "controls/WindowNumbers.h"
#include "desktop/WindowEvents.h"
#include "desktop/WindowPairView.h"
#include "devices/midi/MidiInput.h"
#include "devices/midi/VirtualMidiInput.h"
#include "settings/ControllerFile.h"
#include "settings/NumberParser.h"
#include "settings/SettingsFile.h"
#include "sounds/FactorySounds.h"
#include "ui/AboutBox.h"
#include "ui/FatalErrorBox.h"
#include "ui/HelpWindow.h"
#include "ui/KeyboardWindow.h"
#include "ui/LatencyMenu.h"
#include "ui/MainWindow.h"
#include "ui/PlayingWindow.h"
#include "ui/SoundMenu.h"
#include "ui/WindowDeviceList.h"

namespace vireon::app {

// The program is made of the windows; their names read best unqualified here.
using namespace ui;

namespace {

// How long shutdown waits for the audio system before it gives up on it.
constexpr std::chrono::seconds kAudioShutdownDeadline{3};
// How often the audio output is looked after while the program runs.
constexpr std::chrono::milliseconds kOutputWatchInterval{250};
// How often the note status is looked at: the audio thread cannot post to the window, so the
// window fetches what the note handling reported.
constexpr std::chrono::milliseconds kNoteStatusInterval{15};

/// The main window and the Playing window, as the shared event handling sees them.
class QtWindowView final : public desktop::WindowPairView<MainWindow, PlayingWindow> {
  public:
    using WindowPairView::WindowPairView;
    int sliderValue(int id) const override { return window_.sliderValue(ControlId(id)); }
    void setSliderValue(int id, int value) override {
        window_.setSliderValue(ControlId(id), value);
    }
    int disorderValue() const override { return window_.spinValue(kDisorderSpin); }
    void setDisorderValue(int value) override { window_.setSpinValue(kDisorderSpin, value); }
    void setControlText(int id, std::string_view text) override {
        window_.setControlText(ControlId(id), text);
    }
};

}  // namespace

App::App(live::LiveInstrument& instrument, audio::AudioStream& audio, midi::MidiPorts& midiPorts,
         std::optional<std::filesystem::path> settingsFile)
    : instrument_(instrument),
      audio_(audio),
      midiPorts_(midiPorts),
      settingsFile_(std::move(settingsFile)) {}

App::~App() = default;

std::string App::loadDisorderText() {
    std::string text =
        settingsFile_ ? settings::loadSettings(*settingsFile_) : settings::loadSettings();
    // Nothing renders yet, so the instrument is this thread's to set up.
    instrument_.instrument().setDisorderValue(settings::parseNumber(text));
    return text;
}

void App::saveDisorderText(const std::string& text) {
    // A failed save is silent by design; the previous file survives it.
    if (settingsFile_) {
        settings::saveSettings(text, *settingsFile_);
    } else {
        settings::saveSettings(text);
    }
}

int App::run() {
    // The caller's SynthState is in its start-up state; the settings fix s for the whole run.
    const std::string disorderText = loadDisorderText();
    // Nothing renders yet: the bindings are in place before the first control change arrives.
    windowEvents_ = std::make_unique<desktop::WindowEvents>(
        instrument_,
        settingsFile_ ? settings::controllersFileBeside(*settingsFile_)
                      : settings::controllersFile(),
        settings::parseNumber(disorderText));
    latencyFile_ =
        settingsFile_ ? settings::latencyFileBeside(*settingsFile_) : settings::latencyFile();
    latency_ = latencyOverride_.value_or(settings::loadLatency(latencyFile_));
    audio_.setLatency(latency_);

    // Before the audio library: its JACK host API registers a client of the program's name as
    // well, and the first client keeps the plain name that users connect to, "Vireon". An output
    // that plays JACK directly is that client, with the input on it.
    const bool jackInputOnOutput = audio_.offersOwnJackMidiInput();
    if (ownMidiInput_ != nullptr) {
        ownMidiInput_->offerOnJack(!jackInputOnOutput);
        ownMidiInput_->open();
    }
    const bool audioOpen = audio_.openAudio();
    if (ownMidiInput_ != nullptr && jackInputOnOutput && !audio_.offersOwnJackMidiInput()) {
        // The output could not be that client after all: the input goes on JACK by itself.
        ownMidiInput_->offerOnJack(true);
        ownMidiInput_->open();
    }
    if (!audioOpen) {
        if (ownMidiInput_ != nullptr) {
            ownMidiInput_->close();
        }
        showFatalAudioError(audio_.fatalErrorText());
        audio_.releaseAfterFatalError();
        return 0;
    }

    std::string textToSave = disorderText;
    {
        MainWindow window(events_, [this](controls::ControlId control, int position) {
            instrument_.moveControl(control, position);
        });
        if (window.build(disorderText)) {
            // Every window stands before the MIDI input opens: a note that arrives before the
            // sound starts is dropped, and building a window can take a while.
            playingWindow_ = std::make_unique<PlayingWindow>(
                events_, [this](controls::ControlId control, int position) {
                    instrument_.moveControl(control, position);
                });
            WindowDeviceList deviceList(window);
            midi::MidiInput midiInput(midiPorts_, deviceList);
            midiInput.listMidiDevices();
            midiInput.openMidiInput();
            ServerWatch serverWatch(audio_, midiInput, ownMidiInput_);

            mainWindow_ = &window;
            QtWindowView view(window, *playingWindow_);
            windowEvents_->attach(view);
            // Notes may have arrived before the sound starts; none of them may hold the gate.
            // The stream has not started, so this thread still renders the instrument.
            instrument_.applyPending();
            instrument_.instrument().closeGate();
            audio_.startAudio();

            QTimer noteStatusWatch;
            QObject::connect(&noteStatusWatch, &QTimer::timeout, [&] { windowEvents_->look(); });
            noteStatusWatch.start(kNoteStatusInterval);

            // A timer rather than an event of the loop: it keeps watching while a nested loop
            // runs (help, About).
            QTimer outputWatch;
            QObject::connect(&outputWatch, &QTimer::timeout,
                             [&] { watchOutput(window, serverWatch); });
            outputWatch.start(kOutputWatchInterval);
            runEventLoop(window, midiInput, serverWatch);
            outputWatch.stop();
            noteStatusWatch.stop();
            // Ends the notes the keyboard holds, and its scope lets go of the audio stream.
            keyboardWindow_.reset();
            windowEvents_->detach();
            playingWindow_.reset();
            mainWindow_ = nullptr;
            textToSave = window.controlText(kDisorderSpin);

            // The device list's device is closed while its window, which shows its status,
            // still stands.
            midiInput.closeMidiInput();
        }
        if (ownMidiInput_ != nullptr) {
            ownMidiInput_->close();
        }
        saveDisorderText(textToSave);

        const bool audioReleased = audio_.shutdownAudio(
            [this](std::chrono::milliseconds timeout) { events_.serveOnce(timeout); },
            kAudioShutdownDeadline);
        if (!audioReleased || midiLeftAClientBehind()) {
            // The audio or MIDI system stopped answering (its server vanished), and a helper
            // thread may still be inside it. The settings are safe on disk; ending here, without
            // static clean-up under that thread, is the only way not to hang or crash.
            _exit(0);
        }
    }
    return 0;
}

void App::runEventLoop(MainWindow& window, midi::MidiInput& midiInput, ServerWatch& watch) {
    SoundMenu soundMenu(window, *windowEvents_);
    soundMenu_ = &soundMenu;
    LatencyMenu latencyMenu(window, events_);
    latencyMenu.show(latency_, audio_.outputLatency());
    latencyMenu_ = &latencyMenu;
    const std::size_t factoryCount = sounds::factorySounds().size();
    bool quitRequested = false;
    while (!quitRequested) {
        const UiEvent event = events_.waitForEvent();
        switch (event.kind) {
            case UiEvent::Kind::Menu:
                if (event.number >= kMenuFirstSound &&
                    static_cast<std::size_t>(event.number - kMenuFirstSound) < factoryCount) {
                    windowEvents_->choose(sounds::factorySounds()[event.number - kMenuFirstSound]);
                } else if (event.number == kMenuOpenSound) {
                    soundMenu.open();
                } else if (event.number == kMenuSaveSound) {
                    soundMenu.save();
                } else if (event.number == kMenuAbout) {
                    showAbout(&window);
                } else if (event.number == kMenuHelp) {
                    showHelp(events_);
                } else if (event.number == kMenuKeyboard) {
                    showKeyboardWindow();
                } else if (event.number == kMenuStandardLatency) {
                    chooseLatency(window, settings::Latency::Standard);
                } else if (event.number == kMenuLowLatency) {
                    chooseLatency(window, settings::Latency::Low);
                } else if (event.number == kMenuPlaying) {
                    showPlayingWindow();
                }
                quitRequested = event.number == kMenuQuit;
                break;
            case UiEvent::Kind::Control:
                handleControlEvent(window, midiInput, watch, event.number);
                break;
            case UiEvent::Kind::CloseRequest:
                quitRequested = true;
                break;
            case UiEvent::Kind::LearnController:
                windowEvents_->learnController(event.number);
                break;
            case UiEvent::Kind::ForgetController:
                windowEvents_->forgetController(event.number);
                break;
        }
    }
    soundMenu_ = nullptr;
    latencyMenu_ = nullptr;
}

void App::chooseLatency(MainWindow& window, settings::Latency latency) {
    if (latency != latency_) {
        latency_ = latency;
        // The stream opens again at once; the sound stops for a moment.
        audio_.setLatency(latency);
    }
    const std::optional<double> seconds = audio_.outputLatency();
    latencyMenu_->show(latency_, seconds);
    const bool remembered = settings::saveLatency(latency, latencyFile_);
    window.setStatusMessage(desktop::latencyMessage(latency, seconds, remembered, latencyFile_));
}

void App::watchOutput(MainWindow& window, ServerWatch& watch) {
    const bool sounding = watch.look();
    if (latencyMenu_ != nullptr) {
        // A stream opened again after its server's return may have another latency.
        latencyMenu_->show(latency_, audio_.outputLatency());
    }
    if (sounding == noSoundShown_ && window.hasStatusBar()) {
        noSoundShown_ = !sounding;
        window.setStatusText(kAudioStatusField, noSoundShown_ ? kNoSoundMark : "");
    }
}

bool App::midiLeftAClientBehind() const {
    return midiPorts_.leftAClientBehind() ||
           (ownMidiInput_ != nullptr && ownMidiInput_->leftAClientBehind());
}

void App::handleControlEvent(MainWindow& window, midi::MidiInput& midiInput, ServerWatch& watch,
                             int control) {
    switch (control) {
        case kMidiDeviceList:
            // A JACK server's loss is taken in before anything opens a client of the next one.
            watchOutput(window, watch);
            midiInput.switchMidiDevice();
            break;
        default:
            windowEvents_->controlMoved(control);
            break;
    }
}

void App::showPlayingWindow() {
    playingWindow_->show();
    playingWindow_->raise();
    playingWindow_->activateWindow();
}

void App::showKeyboardWindow() {
    if (!keyboardWindow_) {
        keyboardWindow_ = std::make_unique<KeyboardWindow>(
            [this](std::uint32_t message) { instrument_.playMessage(message); }, scopeTap_,
            [this](live::ScopeTap* tap) { audio_.setScopeTap(tap); });
    }
    keyboardWindow_->show();
    keyboardWindow_->raise();
    keyboardWindow_->activateWindow();
}

}  // namespace vireon::app
