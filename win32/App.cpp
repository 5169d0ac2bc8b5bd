// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/App.h"

#include <chrono>

#include "controls/WindowNumbers.h"
#include "devices/midi/MidiInput.h"
#include "settings/NumberParser.h"
#include "settings/SettingsFile.h"
#include "sounds/FactorySounds.h"
#include "win32/Dialogs.h"
#include "win32/KeyboardWindow.h"
#include "win32/MainWindow.h"
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

            // Notes may have arrived before the sound starts; none of them may hold the gate.
            // The stream has not started, so this thread still renders the instrument.
            instrument_.applyPending();
            instrument_.instrument().closeGate();
            audio_.start();

            window.setTicker([this, &window] { showNoteStatus(window); }, kNoteStatusMilliseconds);
            runEventLoop(window, midiInput);
            window.setTicker(nullptr, 0);
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
                    } else if (event->number >= kMenuFirstSound &&
                               static_cast<std::size_t>(event->number - kMenuFirstSound) <
                                   sounds::factorySounds().size()) {
                        chooseSound(window,
                                    sounds::factorySounds()[event->number - kMenuFirstSound]);
                    }
                    quitRequested = event->number == kMenuQuit;
                    break;
                case WindowEvent::Kind::Control:
                    handleControlEvent(window, midiInput, event->number);
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
        if (!window.preTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

void App::handleControlEvent(MainWindow& window, midi::MidiInput& midiInput, int control) {
    switch (control) {
        case kMidiDeviceList:
            midiInput.switchMidiDevice();
            break;
        case kDisorderSpin:
            // Whatever the user typed, the box shows its position: that is what gets saved.
            window.setControlText(kDisorderSpin, std::to_string(window.spinValue()));
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
            // The envelope sliders reach the instrument as they move (MainWindow::EnvelopeMove).
            break;
    }
}

void App::chooseSound(MainWindow& window, const sounds::Sound& sound) {
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<controls::ControlId>(i);
        if (const std::optional<int> slider = MainWindow::sliderFor(control)) {
            window.setSliderValue(*slider, sound.position(control));
            instrument_.moveControl(control, sound.position(control));
        }
    }
    window.setControlText(kHavocValueText, std::to_string(window.sliderValue(kHavocSlider)));
    window.setControlText(kBedlamValueText, std::to_string(window.sliderValue(kBedlamSlider)));
    // Disorder is read only at start-up: the box holds the sound's value, which is saved at exit
    // as usual and plays from the next start.
    const int disorder = sound.position(controls::ControlId::Disorder);
    window.setSpinValue(disorder);
    window.setControlText(kDisorderSpin, std::to_string(disorder));
}

void App::showKeyboardWindow() {
    if (!keyboardWindow_) {
        keyboardWindow_ = std::make_unique<KeyboardWindow>(
            [this](std::uint32_t message) { instrument_.playMessage(message); }, audio_);
    }
    keyboardWindow_->show();
}

void App::showNoteStatus(MainWindow& window) {
    // Every report is shown, even one that repeats the text.
    const instrument::Instrument::NoteStatus status = instrument_.noteStatus();
    if (status.reports != noteReportsShown_ && window.hasStatusBar()) {
        noteReportsShown_ = status.reports;
        window.setStatusText(kNoteStatusField, std::string(status.text));
    }
}

}  // namespace vireon::win32
