// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop faces' shared event handling over a window made of plain values: what reaches the
// instrument, what the window shows and what the controllers file keeps.

#include "desktop/WindowEvents.h"

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "controls/WindowNumbers.h"
#include "desktop/WindowView.h"
#include "settings/ControllerFile.h"
#include "sounds/FactorySounds.h"
#include "tests/support/Environment.h"

namespace vireon::desktop {
namespace {

namespace fs = std::filesystem;
using controls::ControlId;

class FakeView final : public WindowView {
  public:
    int sliderValue(int id) const override { return sliders.contains(id) ? sliders.at(id) : 0; }
    void setSliderValue(int id, int value) override { sliders[id] = value; }
    int disorderValue() const override { return disorder; }
    void setDisorderValue(int value) override { disorder = value; }
    void setControlText(int id, std::string_view text) override { texts[id] = text; }
    int playingPosition(ControlId control) const override { return playing[index(control)]; }
    void setPlayingPosition(ControlId control, int position) override {
        playing[index(control)] = position;
    }
    void showControllerMove(ControlId control, int position) override {
        moves[index(control)] = position;
    }
    void showController(ControlId control, std::optional<int> controller) override {
        controllers[index(control)] = controller;
    }
    bool hasStatusBar() const override { return true; }
    void setStatusText(int field, std::string_view text) override { fields[field] = text; }
    void setStatusMessage(std::string_view text) override { message = text; }

    static std::size_t index(ControlId control) { return static_cast<std::size_t>(control); }

    std::map<int, int> sliders;
    int disorder = 10;
    std::map<int, std::string> texts;
    std::array<int, controls::kControlCount> playing{};
    std::array<int, controls::kControlCount> moves{};
    std::array<std::optional<int>, controls::kControlCount> controllers{};
    std::map<int, std::string> fields;
    std::string message;
};

class WindowEventsTest : public ::testing::Test {
  protected:
    ~WindowEventsTest() override { fs::remove_all(folder); }

    int soundOf(ControlId control) {
        instrument.applyPending();
        return instrument.instrument().position(control);
    }
    static void controlChange(live::LiveInstrument& to, int controller, int value) {
        to.playMessage(0xB0u | static_cast<std::uint32_t>(controller) << 8 |
                       static_cast<std::uint32_t>(value) << 16);
        to.applyPending();
    }

    fs::path folder = testsupport::makeTemporaryFolder("vireon-window-events");
    fs::path file = folder / "controllers.txt";
    live::LiveInstrument instrument;
    FakeView view;
};

TEST_F(WindowEventsTest, ALearnedControllerIsShownSavedMovesTheWindowAndIsThereNextTime) {
    {
        WindowEvents events(instrument, file, 10);
        events.attach(view);
        events.learnController(static_cast<int>(ControlId::Havoc));
        EXPECT_EQ(view.message, "Havoc: move a MIDI controller (channel 1) to bind it");
        controlChange(instrument, 21, 127);
        events.look();
        EXPECT_EQ(view.message, "Havoc: MIDI controller 21");
        EXPECT_EQ(view.controllers[0], 21);
        EXPECT_EQ(view.moves[0], 100);
        EXPECT_EQ(settings::loadControllers(file).controllerFor(ControlId::Havoc), 21);

        // A controller bound to Disorder moves the box, and the sound only from the next start.
        events.learnController(static_cast<int>(ControlId::Disorder));
        controlChange(instrument, 22, 127);
        events.look();
        EXPECT_EQ(view.message, "Disorder 50 from the next start");

        events.forgetController(static_cast<int>(ControlId::Havoc));
        instrument.applyPending();
        events.look();
        EXPECT_EQ(view.message, "Havoc: no MIDI controller");
        events.learnController(99);  // no such control: nothing happens
        EXPECT_EQ(view.message, "Havoc: no MIDI controller");
    }
    live::LiveInstrument next;
    WindowEvents events(next, file, 10);
    EXPECT_EQ(next.controllers().controllerFor(ControlId::Disorder), 22);
    EXPECT_EQ(next.controllers().controllerFor(ControlId::Havoc), std::nullopt);

    // A file that cannot be written: the binding holds for this run and the message says so.
    fs::permissions(file, fs::perms::owner_read);
    events.attach(view);
    events.learnController(static_cast<int>(ControlId::Bedlam));
    controlChange(next, 23, 0);
    events.look();
    EXPECT_EQ(view.message, "Bedlam: MIDI controller 23 (not remembered: " + file.string() +
                                " cannot be written)");
}

TEST_F(WindowEventsTest, AChosenSoundMovesWindowAndSoundAndComesBackAsTheCurrentOne) {
    WindowEvents events(instrument, file, 10);
    events.attach(view);
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        events.choose(sound);
        EXPECT_EQ(events.current(), sound) << sound.name;
        for (const ControlId control : {ControlId::Havoc, ControlId::Attack, ControlId::Release}) {
            EXPECT_EQ(soundOf(control), sound.position(control)) << sound.name;
        }
        EXPECT_EQ(view.texts[ui::kHavocValueText],
                  std::to_string(sound.position(ControlId::Havoc)));
        const int disorder = sound.position(ControlId::Disorder);
        EXPECT_EQ(view.texts[ui::kDisorderSpin], std::to_string(disorder));
        EXPECT_EQ(view.message, disorder == 10
                                    ? sound.name
                                    : sound.name + ": Disorder " + std::to_string(disorder) +
                                          " from the next start");
    }
    // A move by the user reaches the sound and its value text.
    view.sliders[ui::kBedlamSlider] = 77;
    events.controlMoved(ui::kBedlamSlider);
    EXPECT_EQ(soundOf(ControlId::Bedlam), 77);
    EXPECT_EQ(view.texts[ui::kBedlamValueText], "77");
}

TEST(LatencyMessage, NamesTheChoiceItsLatencyAndAFileNotWritten) {
    using settings::Latency;
    EXPECT_EQ(latencyEntryText(Latency::Low, true, 0.0104), "Low latency (10 ms)");
    EXPECT_EQ(latencyEntryText(Latency::Standard, false, 0.0104), "Standard latency");
    EXPECT_EQ(latencyMessage(Latency::Low, 0.0124, true, "l.txt"), "Low latency: 12 ms");
    EXPECT_EQ(latencyMessage(Latency::Standard, std::nullopt, false, "l.txt"),
              "Standard latency: no sound output (not remembered: l.txt cannot be written)");
}

}  // namespace
}  // namespace vireon::desktop
