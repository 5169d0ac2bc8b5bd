// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/App.h"

#include <chrono>

#include "controls/WindowNumbers.h"
#include "desktop/WindowEvents.h"
#include "desktop/WindowPairView.h"
#include "devices/midi/MidiInput.h"
#include "settings/ControllerFile.h"
#include "settings/LatencyFile.h"
#include "settings/NumberParser.h"
#include "settings/SettingsFile.h"
#include "sounds/FactorySounds.h"
#include "win32/Dialogs.h"
#include "win32/KeyboardWindow.h"
#include "win32/MainWindow.h"
#include "win32/PlayingWindow.h"
#include "win32/SoundFiles.h"
#include "win32/WasapiOutput.h"

namespace vireon::win32 {

using namespace ui;

namespace {

// How long shutdown waits for the audio thread before it gives up on it.
constexpr std::chrono::seconds kAudioShutdownDeadline{3};
// How often the note status is looked at: the audio thread cannot write to the window, so the
// window fetches what the note handling reported.
constexpr unsigned kNoteStatusMilliseconds = 15;

/// The device list and the MIDI status field, as MidiInput sees them.
class WindowDeviceList final : public midi::DeviceListView {
  public:
    explicit WindowDeviceList(MainWindow& window) : window_(window) {}
    void addListItem(const std::string& text) override { window_.addListItem(text); }
    void selectIndex(int index) override { window_.selectIndex(index); }
    int selectedIndex() const override { return window_.selectedIndex(); }
    bool hasStatusBar() const override { return window_.hasStatusBar(); }
    void setMidiStatusText(const std::string& text) override {
        window_.setStatusText(kMidiStatusField, text);
    }

  private:
    MainWindow& window_;
};

/// The program's windows, as the shared event handling sees them.
class Win32WindowView final : public desktop::WindowPairView<MainWindow, PlayingWindow> {
  public:
    using WindowPairView::WindowPairView;
    int sliderValue(int id) const override { return window_.sliderValue(id); }
    void setSliderValue(int id, int value) override { window_.setSliderValue(id, value); }
    int disorderValue() const override { return window_.spinValue(); }
    void setDisorderValue(int value) override { window_.setSpinValue(value); }
    void setControlText(int id, std::string_view text) override {
        window_.setControlText(id, text);
    }
};

/// Handles one window message, if there is one, without waiting.
void serveOneMessage() {
    MSG message;
    if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

}  // namespace

App::App(live::LiveInstrument& instrument, WasapiOutput& audio, midi::MidiPorts& midiPorts)
    : instrument_(instrument), audio_(audio), midiPorts_(midiPorts) {}

App::~App() = default;

int App::run() {
    // Disorder is read once, here: the settings fix it for the whole run. Nothing renders yet.
    const std::string disorderText = settings::loadSettings();
    instrument_.instrument().setDisorderValue(settings::parseNumber(disorderText));
    windowEvents_ = std::make_unique<desktop::WindowEvents>(
        instrument_, settings::controllersFile(), settings::parseNumber(disorderText));
    latencyFile_ = settings::latencyFile();
    latency_ = latencyOverride_.value_or(settings::loadLatency(latencyFile_));
    audio_.setLatency(latency_);

    if (!audio_.open()) {
        // Before any window and before the save: the settings file keeps what it held.
        showFatalAudioError(audio_.errorText());
        return 0;
    }

    std::string textToSave = disorderText;
    {
        MainWindow window([this](controls::ControlId control, int position) {
            instrument_.moveControl(control, position);
        });
        if (window.build(disorderText)) {
            WindowDeviceList deviceList(window);
            midi::MidiInput midiInput(midiPorts_, deviceList);
            midiInput.listMidiDevices();
            midiInput.openMidiInput();
            playingWindow_ = std::make_unique<PlayingWindow>(
                [this](controls::ControlId control, int position) {
                    instrument_.moveControl(control, position);
                },
                [&window](WindowEvent event) { window.post(event); });
            Win32WindowView view(window, *playingWindow_);
            window.showLatency(latency_, audio_.outputLatency());
            windowEvents_->attach(view);

            // Notes may have arrived before the sound starts; none of them may hold the gate.
            // The stream has not started, so this thread still renders the instrument.
            instrument_.applyPending();
            instrument_.instrument().closeGate();
            audio_.start();

            window.setTicker([this] { windowEvents_->look(); }, kNoteStatusMilliseconds);
            runEventLoop(window, midiInput);
            window.setTicker(nullptr, 0);
            windowEvents_->detach();
            playingWindow_.reset();
            textToSave = window.controlText(kDisorderSpin);
            // Closed while the window that shows its status still stands.
            midiInput.closeMidiInput();
        }
        // A failed save is silent by design; the previous file survives it.
        settings::saveSettings(textToSave);

        if (!audio_.shutdown(serveOneMessage, kAudioShutdownDeadline)) {
            // The audio system stopped answering and its thread may still be inside it. The
            // settings are safe on disk; ending here is the only way not to hang.
            ::ExitProcess(0);
        }
    }
    return 0;
}

void App::runEventLoop(MainWindow& window, midi::MidiInput& midiInput) {
    SoundFiles soundFiles(window, *windowEvents_);
    bool quitRequested = false;
    while (!quitRequested) {
        if (const std::optional<WindowEvent> event = window.takeEvent()) {
            switch (event->kind) {
                case WindowEvent::Kind::Menu:
                    if (event->number == kMenuAbout) {
                        showAbout(window.handle());
                    } else if (event->number == kMenuHelp) {
                        showHelp(window);
                    } else if (event->number == kMenuKeyboard) {
                        showKeyboardWindow();
                    } else if (event->number == kMenuStandardLatency) {
                        chooseLatency(window, settings::Latency::Standard);
                    } else if (event->number == kMenuLowLatency) {
                        chooseLatency(window, settings::Latency::Low);
                    } else if (event->number == kMenuPlaying) {
                        playingWindow_->show();
                    } else if (event->number == kMenuOpenSound) {
                        soundFiles.open();
                    } else if (event->number == kMenuSaveSound) {
                        soundFiles.save();
                    } else if (event->number >= kMenuFirstSound &&
                               static_cast<std::size_t>(event->number - kMenuFirstSound) <
                                   sounds::factorySounds().size()) {
                        windowEvents_->choose(
                            sounds::factorySounds()[event->number - kMenuFirstSound]);
                    }
                    quitRequested = event->number == kMenuQuit;
                    break;
                case WindowEvent::Kind::Control:
                    if (event->number == kMidiDeviceList) {
                        midiInput.switchMidiDevice();
                    } else {
                        windowEvents_->controlMoved(event->number);
                    }
                    break;
                case WindowEvent::Kind::LearnController:
                    windowEvents_->learnController(event->number);
                    break;
                case WindowEvent::Kind::ForgetController:
                    windowEvents_->forgetController(event->number);
                    break;
                case WindowEvent::Kind::CloseRequest:
                    quitRequested = true;
                    break;
            }
            continue;
        }
        MSG message;
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;  // the session ends
        }
        if (!window.preTranslate(message) && !playingWindow_->preTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

void App::chooseLatency(MainWindow& window, settings::Latency latency) {
    if (latency != latency_) {
        latency_ = latency;
        // The output opens again at once; the sound stops for a moment. An audio thread that
        // does not end leaves the program without sound, as the message then says.
        audio_.reopen(latency, serveOneMessage, kAudioShutdownDeadline);
    }
    const std::optional<double> seconds = audio_.outputLatency();
    window.showLatency(latency_, seconds);
    const bool remembered = settings::saveLatency(latency, latencyFile_);
    window.setStatusMessage(desktop::latencyMessage(latency, seconds, remembered, latencyFile_));
}

void App::showKeyboardWindow() {
    if (!keyboardWindow_) {
        keyboardWindow_ = std::make_unique<KeyboardWindow>(
            [this](std::uint32_t message) { instrument_.playMessage(message); }, audio_);
    }
    keyboardWindow_->show();
}

}  // namespace vireon::win32
