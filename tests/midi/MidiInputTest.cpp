// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/SynthState.h"
#include "devices/midi/MidiInput.h"
#include "midi/MidiNoteHandler.h"

namespace vireon::midi {
namespace {

using Names = std::vector<std::optional<std::string>>;
using Texts = std::vector<std::string>;

// Devices as the platform reports them (no name: the query fails). Records every call in
// order, as "open 2"; like the platform, closing an open device tells the note handler.
class FakePorts final : public MidiPorts {
  public:
    int deviceCount() override { return static_cast<int>(names.size()); }
    std::optional<std::string> deviceName(int device) override {
        return names.at(static_cast<std::size_t>(device));
    }
    bool open(int device) override {
        calls.push_back("open " + std::to_string(device));
        if (device < 0 || device >= deviceCount() || busy.contains(device)) {
            return false;
        }
        openDevice = device;
        return true;
    }
    bool start() override {
        calls.emplace_back("start");
        return openDevice && !startFails;
    }
    void stop() override { calls.emplace_back("stop"); }
    void close() override {
        calls.emplace_back("close");
        if (openDevice && handler != nullptr) {
            handler->onMidiMessage(MidiMessageKind::Close, 0, 0);
        }
        openDevice.reset();
    }

    Names names;
    std::set<int> busy;
    bool startFails = false;
    MidiNoteHandler* handler = nullptr;
    std::optional<int> openDevice;
    Texts calls;
};

// A drop-down list: selecting an index it does not have leaves the selection as it was.
class FakeView final : public DeviceListView {
  public:
    void addListItem(const std::string& text) override { items.push_back(text); }
    void selectIndex(int index) override {
        if (index >= 0 && index < static_cast<int>(items.size())) {
            selected = index;
        }
    }
    int selectedIndex() const override { return selected; }
    bool hasStatusBar() const override { return statusBar; }
    void setMidiStatusText(const std::string& text) override { statusTexts.push_back(text); }

    Texts items;
    int selected = -1;
    bool statusBar = true;
    Texts statusTexts;
};

class MidiInputTest : public ::testing::Test {
  protected:
    // The application's start-up: list the devices, then open the chosen one.
    void startWith(Names names) {
        ports.names = std::move(names);
        reported = input.listMidiDevices();
        input.openMidiInput();
    }

    // The user picks an entry; only the calls of the switch are kept.
    void choose(int entry) {
        view.selected = entry;
        ports.calls.clear();
        input.switchMidiDevice();
    }

    FakePorts ports;
    FakeView view;
    MidiInput input{ports, view};
    int reported = 0;
};

TEST_F(MidiInputTest, StartUpListsNamesInDeviceOrderAndOpensAndStartsTheFirst) {
    startWith({"USB Keys", "Pedal Board"});
    EXPECT_EQ(reported, 2);
    EXPECT_EQ(view.items, (Texts{"USB Keys", "Pedal Board"}));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(input.deviceNumber(), 0);
    EXPECT_EQ(ports.calls, (Texts{"open 0", "start"}));
    EXPECT_EQ(view.statusTexts, Texts{"MIDI IN"});
}

TEST_F(MidiInputTest, WithoutDevicesTheOpenFailsAndSaysSo) {
    startWith({});
    EXPECT_EQ(reported, 0);
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(view.selected, -1);
    EXPECT_EQ(input.deviceNumber(), -1);
    EXPECT_EQ(ports.calls, Texts{"open -1"});
    EXPECT_EQ(view.statusTexts, Texts{"No MIDI IN"});
}

TEST_F(MidiInputTest, AStartFailureSaysNoMidiIn) {
    ports.startFails = true;
    startWith({"USB Keys"});
    EXPECT_EQ(ports.calls, (Texts{"open 0", "start"}));
    EXPECT_EQ(view.statusTexts, Texts{"No MIDI IN"});
}

TEST_F(MidiInputTest, WithoutAStatusBarInputWorksButNothingIsWritten) {
    view.statusBar = false;
    startWith({"USB Keys", "Pedal Board"});
    choose(1);
    EXPECT_EQ(ports.openDevice, 1);
    EXPECT_TRUE(view.statusTexts.empty());
}

// A device whose name cannot be read has no entry; every entry still opens the device it names.
TEST_F(MidiInputTest, EntriesOpenTheDevicesTheyNameWhenANameIsMissing) {
    startWith({"USB Keys", std::nullopt, "Pedal Board"});
    EXPECT_EQ(reported, 3);
    EXPECT_EQ(view.items, (Texts{"USB Keys", "Pedal Board"}));
    choose(1);
    EXPECT_EQ(input.deviceNumber(), 2);
    EXPECT_EQ(ports.calls, (Texts{"stop", "close", "open 2", "start"}));
}

TEST_F(MidiInputTest, StartUpOpensTheDeviceTheFirstEntryNamesAndNoneWithoutEntries) {
    startWith({std::nullopt, "Pedal Board"});
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(ports.calls, (Texts{"open 1", "start"}));

    FakeView emptyView;
    MidiInput unnamedOnly(ports, emptyView);
    ports.names = {std::nullopt};
    ports.calls.clear();
    EXPECT_EQ(unnamedOnly.listMidiDevices(), 1);
    unnamedOnly.openMidiInput();
    EXPECT_EQ(emptyView.selected, -1);
    EXPECT_EQ(ports.calls, Texts{"open -1"});
    EXPECT_EQ(emptyView.statusTexts, Texts{"No MIDI IN"});
}

TEST_F(MidiInputTest, ReselectingTheEntryInUseEndsTheHeldNoteAndReopensTheDevice) {
    engine::SynthState state;
    MidiNoteHandler handler(state);
    ports.handler = &handler;
    startWith({"USB Keys", "Pedal Board"});
    handler.onMidiMessage(MidiMessageKind::Data, packShortMessage(0x90, 69, 100), 0);
    ASSERT_EQ(state.gate.load(), 1);

    choose(0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(ports.calls, (Texts{"stop", "close", "open 0", "start"}));
    EXPECT_EQ(view.statusTexts, (Texts{"MIDI IN", "MIDI IN"}));
}

TEST_F(MidiInputTest, ABusyDeviceSaysNoMidiInWithoutAStartAndAnotherChoiceRecovers) {
    startWith({"USB Keys", "Pedal Board"});
    ports.busy = {1};
    choose(1);
    EXPECT_EQ(ports.calls, (Texts{"stop", "close", "open 1"}));
    EXPECT_EQ(view.statusTexts.back(), "No MIDI IN");
    choose(0);
    EXPECT_EQ(view.statusTexts.back(), "MIDI IN");
}

// Arrow keys move the selection one step at a time; each step is a switch of its own.
TEST_F(MidiInputTest, EverySelectionChangeSwitchesTheDevice) {
    startWith({"USB Keys", "Pedal Board", "Wind Controller"});
    ports.calls.clear();
    for (const int entry : {1, 2, 1}) {
        view.selected = entry;
        input.switchMidiDevice();
    }
    EXPECT_EQ(ports.calls, (Texts{"stop", "close", "open 1", "start",  //
                                  "stop", "close", "open 2", "start",  //
                                  "stop", "close", "open 1", "start"}));
}

TEST_F(MidiInputTest, ShutdownStopsAndClosesTheDeviceInUse) {
    startWith({"USB Keys"});
    ports.calls.clear();
    input.closeMidiInput();
    EXPECT_EQ(ports.calls, (Texts{"stop", "close"}));
    EXPECT_FALSE(ports.openDevice.has_value());
}

}  // namespace
}  // namespace vireon::midi
