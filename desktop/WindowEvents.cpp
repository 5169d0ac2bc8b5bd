// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/WindowEvents.h"

#include <cmath>
#include <utility>

#include "controls/WindowNumbers.h"
#include "desktop/WindowView.h"
#include "settings/ControllerFile.h"

namespace vireon::desktop {
namespace {

using controls::ControlId;

std::string nameOf(ControlId control) {
    return std::string(controls::control(control).name);
}

std::optional<ControlId> controlOf(int number) {
    if (number < 0 || number >= static_cast<int>(controls::kControlCount)) {
        return std::nullopt;
    }
    return static_cast<ControlId>(number);
}

}  // namespace

std::optional<int> sliderFor(ControlId control) {
    switch (control) {
        case ControlId::Havoc:
            return ui::kHavocSlider;
        case ControlId::Bedlam:
            return ui::kBedlamSlider;
        case ControlId::Attack:
            return ui::kAttackSlider;
        case ControlId::Decay:
            return ui::kDecaySlider;
        case ControlId::Sustain:
            return ui::kSustainSlider;
        case ControlId::Release:
            return ui::kReleaseSlider;
        default:
            return std::nullopt;
    }
}

WindowEvents::WindowEvents(live::LiveInstrument& instrument, std::filesystem::path controllersFile,
                           std::int64_t disorderInEffect)
    : instrument_(instrument),
      controllersFile_(std::move(controllersFile)),
      disorderInEffect_(disorderInEffect),
      controllers_(settings::loadControllers(controllersFile_)) {
    instrument_.setControllers(controllers_);
}

void WindowEvents::attach(WindowView& view) {
    view_ = &view;
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
        view.showController(control, controllers_.controllerFor(control));
    }
}

void WindowEvents::controlMoved(int number) {
    if (view_ == nullptr) {
        return;
    }
    switch (number) {
        case ui::kDisorderSpin:
            // Whatever the user typed, the box shows its position: that is what gets saved.
            view_->setControlText(ui::kDisorderSpin, std::to_string(view_->disorderValue()));
            break;
        case ui::kHavocSlider:
            instrument_.moveControl(ControlId::Havoc, view_->sliderValue(ui::kHavocSlider));
            view_->setControlText(ui::kHavocValueText,
                                  std::to_string(view_->sliderValue(ui::kHavocSlider)));
            break;
        case ui::kBedlamSlider:
            instrument_.moveControl(ControlId::Bedlam, view_->sliderValue(ui::kBedlamSlider));
            view_->setControlText(ui::kBedlamValueText,
                                  std::to_string(view_->sliderValue(ui::kBedlamSlider)));
            break;
        default:
            break;
    }
}

void WindowEvents::learnController(int number) {
    if (const std::optional<ControlId> control = controlOf(number)) {
        instrument_.learnController(*control);
        if (view_ != nullptr) {
            view_->setStatusMessage(nameOf(*control) +
                                    ": move a MIDI controller (channel 1) to bind it");
        }
    }
}

void WindowEvents::forgetController(int number) {
    if (const std::optional<ControlId> control = controlOf(number)) {
        instrument_.forgetController(*control);
    }
}

void WindowEvents::look() {
    if (view_ == nullptr) {
        return;
    }
    showNoteStatus();
    showControllers();
    showControllerMoves();
}

void WindowEvents::showNoteStatus() {
    // Every report is shown, even one that repeats the text.
    const instrument::Instrument::NoteStatus status = instrument_.noteStatus();
    if (status.reports != noteReportsShown_ && view_->hasStatusBar()) {
        noteReportsShown_ = status.reports;
        view_->setStatusText(ui::kNoteStatusField, status.text);
    }
}

void WindowEvents::showControllers() {
    const instrument::ControllerMap bindings = instrument_.controllers();
    if (bindings == controllers_) {
        return;
    }
    // A binding learned, which may have taken its controller from another control, is what
    // the player did; otherwise a binding was forgotten.
    std::string message;
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
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
    // A binding can take its controller from another control, so every control is shown again.
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
        view_->showController(control, controllers_.controllerFor(control));
    }
    if (!settings::saveControllers(controllers_, controllersFile_)) {
        message += " (not remembered: " + controllersFile_.string() + " cannot be written)";
    }
    view_->setStatusMessage(message);
}

void WindowEvents::showControllerMoves() {
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
        const instrument::Instrument::ControllerMove move = instrument_.controllerMove(control);
        if (move.moves == controllerMovesShown_[i]) {
            continue;
        }
        controllerMovesShown_[i] = move.moves;
        view_->showControllerMove(control, move.position);
        if (control == ControlId::Disorder) {
            // Like a chosen sound's Disorder: the box keeps it for the next start.
            view_->setStatusMessage(move.position == disorderInEffect_
                                        ? "Disorder " + std::to_string(move.position)
                                        : "Disorder " + std::to_string(move.position) +
                                              " from the next start");
        }
    }
}

void WindowEvents::choose(const sounds::Sound& sound) {
    if (view_ == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
        const int position = sound.position(control);
        if (controls::isPlayingControl(control)) {
            view_->setPlayingPosition(control, position);
        } else if (const std::optional<int> slider = sliderFor(control)) {
            view_->setSliderValue(*slider, position);
            // As the slider holds it, as a move by the user reaches the sound.
            instrument_.moveControl(control, view_->sliderValue(*slider));
        }
    }
    view_->setControlText(ui::kHavocValueText,
                          std::to_string(view_->sliderValue(ui::kHavocSlider)));
    view_->setControlText(ui::kBedlamValueText,
                          std::to_string(view_->sliderValue(ui::kBedlamSlider)));
    // Disorder is read only at start-up: the box holds the sound's value, which is saved at
    // exit as usual, and the status bar says when the sound is not yet the one playing.
    const int disorder = sound.position(ControlId::Disorder);
    view_->setDisorderValue(disorder);
    view_->setControlText(ui::kDisorderSpin, std::to_string(disorder));
    soundName_ = sound.name;
    soundDescription_ = sound.description;
    view_->setStatusMessage(disorder == disorderInEffect_
                                ? sound.name
                                : sound.name + ": Disorder " + std::to_string(disorder) +
                                      " from the next start");
}

sounds::Sound WindowEvents::current() const {
    sounds::Sound sound{soundName_, soundDescription_, {}};
    if (view_ == nullptr) {
        return sound;
    }
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        const auto control = static_cast<ControlId>(i);
        if (controls::isPlayingControl(control)) {
            sound.positions[i] = view_->playingPosition(control);
        } else if (const std::optional<int> slider = sliderFor(control)) {
            sound.positions[i] = view_->sliderValue(*slider);
        }
    }
    sound.positions[static_cast<std::size_t>(ControlId::Disorder)] = view_->disorderValue();
    return sound;
}

void WindowEvents::saved(const sounds::Sound& sound) {
    soundName_ = sound.name;
    soundDescription_ = sound.description;
    if (view_ != nullptr) {
        view_->setStatusMessage("Saved " + sound.name);
    }
}

namespace {

std::string latencyName(settings::Latency latency) {
    return latency == settings::Latency::Low ? "Low latency" : "Standard latency";
}

std::string milliseconds(double seconds) {
    return std::to_string(std::lround(seconds * 1000.0)) + " ms";
}

}  // namespace

std::string latencyEntryText(settings::Latency latency, bool inUse, std::optional<double> seconds) {
    return inUse && seconds ? latencyName(latency) + " (" + milliseconds(*seconds) + ")"
                            : latencyName(latency);
}

std::string latencyMessage(settings::Latency latency, std::optional<double> seconds,
                           bool remembered, const std::filesystem::path& latencyFile) {
    std::string message = latencyName(latency);
    message += seconds ? ": " + milliseconds(*seconds) : ": no sound output";
    if (!remembered) {
        message += " (not remembered: " + latencyFile.string() + " cannot be written)";
    }
    return message;
}

}  // namespace vireon::desktop
