// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/App.h"

#include <unistd.h>

#include <QTimer>

#include <chrono>
#include <cmath>
#include <string>

#include "app/ServerWatch.h"
#include "devices/midi/MidiInput.h"
#include "devices/midi/VirtualMidiInput.h"
#include "settings/ControllerFile.h"
#include "settings/NumberParser.h"
#include "settings/SettingsFile.h"
#include "sounds/FactorySounds.h"
#include "ui/AboutBox.h"
#include "controls/WindowNumbers.h"
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

void App::loadControllers() {
    controllersFile_ = settingsFile_ ? settings::controllersFileBeside(*settingsFile_)
                                     : settings::controllersFile();
    controllers_ = settings::loadControllers(controllersFile_);
    // Nothing renders yet: the bindings are in place before the first control change arrives.
    instrument_.setControllers(controllers_);
}

int App::run() {
    // The caller's SynthState is in its start-up state; the settings fix s for the whole run.
    const std::string disorderText = loadDisorderText();
    disorderInEffect_ = settings::parseNumber(disorderText);
    loadControllers();
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
            for (std::size_t i = 0; i < controls::kControlCount; ++i) {
                showController(window, static_cast<controls::ControlId>(i));
            }
            // Notes may have arrived before the sound starts; none of them may hold the gate.
            // The stream has not started, so this thread still renders the instrument.
            instrument_.applyPending();
            instrument_.instrument().closeGate();
            audio_.startAudio();

            QTimer noteStatusWatch;
            QObject::connect(&noteStatusWatch, &QTimer::timeout, [&] {
                showNoteStatus(window);
                showControllers(window);
                showControllerMoves(window);
            });
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
    SoundMenu soundMenu(window, *playingWindow_, events_, disorderInEffect_);
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
                    soundMenu.choose(sounds::factorySounds()[event.number - kMenuFirstSound]);
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
            case UiEvent::Kind::ForgetController:
                handleControllerEvent(window, event);
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
    std::string message = latency == settings::Latency::Low ? "Low latency" : "Standard latency";
    message += seconds ? ": " + std::to_string(std::lround(*seconds * 1000.0)) + " ms"
                       : ": no sound output";
    if (!settings::saveLatency(latency, latencyFile_)) {
        message += " (not remembered: " + latencyFile_.string() + " cannot be written)";
    }
    window.setStatusMessage(message);
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

void App::showNoteStatus(MainWindow& window) {
    // Every report is shown, even one that repeats the text.
    const instrument::Instrument::NoteStatus status = instrument_.noteStatus();
    if (status.reports != noteReportsShown_ && window.hasStatusBar()) {
        noteReportsShown_ = status.reports;
        window.setStatusText(kNoteStatusField, std::string(status.text));
    }
}

namespace {

std::string nameOf(controls::ControlId control) {
    return std::string(controls::control(control).name);
}

}  // namespace

void App::handleControllerEvent(MainWindow& window, const UiEvent& event) {
    if (event.number < 0 || event.number >= static_cast<int>(controls::kControlCount)) {
        return;
    }
    const auto control = static_cast<controls::ControlId>(event.number);
    if (event.kind == UiEvent::Kind::LearnController) {
        instrument_.learnController(control);
        window.setStatusMessage(nameOf(control) +
                                ": move a MIDI controller (channel 1) to bind it");
        return;
    }
    instrument_.forgetController(control);
}

void App::showControllers(MainWindow& window) {
    const instrument::ControllerMap bindings = instrument_.controllers();
    if (bindings == controllers_) {
        return;
    }
    // A binding learned, which may have taken its controller from another control, is what
    // the player did; otherwise a binding was forgotten.
    std::string message;
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        const std::optional<int> controller = bindings.controllerFor(control);
        if (controller == controllers_.controllerFor(control)) {
            continue;
        }
        if (controller) {
            message = nameOf(control) + ": MIDI controller " + std::to_string(*controller);
            break;
        }
        if (message.empty()) {
            message = nameOf(control) + ": no MIDI controller";
        }
    }
    controllers_ = bindings;
    controllersChanged(window, message);
}

void App::controllersChanged(MainWindow& window, const std::string& message) {
    // A binding can take its controller from another control, so every control is shown again.
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        showController(window, static_cast<controls::ControlId>(i));
    }
    if (settings::saveControllers(controllers_, controllersFile_)) {
        window.setStatusMessage(message);
    } else {
        window.setStatusMessage(message + " (not remembered: " + controllersFile_.string() +
                                " cannot be written)");
    }
}

void App::showControllerMoves(MainWindow& window) {
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        const instrument::Instrument::ControllerMove move = instrument_.controllerMove(control);
        if (move.moves == controllerMovesShown_[i]) {
            continue;
        }
        controllerMovesShown_[i] = move.moves;
        if (controls::isPlayingControl(control)) {
            playingWindow_->showControllerMove(control, move.position);
            continue;
        }
        window.showControllerMove(control, move.position);
        if (control == controls::ControlId::Disorder) {
            // Like a chosen sound's Disorder: the box keeps it for the next start.
            window.setStatusMessage(move.position == disorderInEffect_
                                        ? std::string("Disorder ") + std::to_string(move.position)
                                        : "Disorder " + std::to_string(move.position) +
                                              " from the next start");
        }
    }
}

void App::handleControlEvent(MainWindow& window, midi::MidiInput& midiInput, ServerWatch& watch,
                             int control) {
    switch (control) {
        case kMidiDeviceList:
            // A JACK server's loss is taken in before anything opens a client of the next one.
            watchOutput(window, watch);
            midiInput.switchMidiDevice();
            break;
        case kDisorderSpin:
            // Whatever the user typed, the box shows its position: that is what gets saved.
            window.setControlText(kDisorderSpin, std::to_string(window.spinValue(kDisorderSpin)));
            break;
        case kHavocSlider:
            instrument_.moveControl(controls::ControlId::Havoc, window.sliderValue(kHavocSlider));
            window.setControlText(kHavocValueText,
                                  std::to_string(window.sliderValue(kHavocSlider)));
            break;
        case kBedlamSlider:
            instrument_.moveControl(controls::ControlId::Bedlam, window.sliderValue(kBedlamSlider));
            window.setControlText(kBedlamValueText,
                                  std::to_string(window.sliderValue(kBedlamSlider)));
            break;
        default:
            // The envelope sliders need nothing here: the envelope reads them at note start.
            break;
    }
}

void App::showController(MainWindow& window, controls::ControlId control) {
    const std::optional<int> controller = controllers_.controllerFor(control);
    if (controls::isPlayingControl(control)) {
        playingWindow_->showController(control, controller);
    } else {
        window.showController(control, controller);
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
