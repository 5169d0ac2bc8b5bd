// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 face's pieces that need no window: WinMM's callback as the system calls it, the
// device list on a machine without MIDI devices, and the output's channels.

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devices/midi/MidiInput.h"
#include "live/LiveInstrument.h"
#include "midi/MidiMessage.h"
#include "win32/WasapiOutput.h"
#include "win32/WinMmPorts.h"

namespace vireon::win32 {
namespace {

using midi::packShortMessage;

constexpr std::uint32_t kBlock = 800;

// Everything handed over so far applied, then a block: what is compared here is what arrives,
// not when.
std::vector<float> render(live::LiveInstrument& instrument) {
    std::vector<float> block(kBlock);
    instrument.applyPending();
    instrument.render(block.data(), kBlock);
    return block;
}

// What WinMM hands the callback reaches the sound as the same message handed to the instrument
// directly would, a controller learned included; its other messages (open, long data, errors)
// are not the instrument's.
TEST(WinMmCallback, ShortMessagesAndTheCloseReachTheInstrument) {
    struct Call {
        UINT message;
        std::uint32_t param1;
    };
    constexpr std::array<Call, 8> kCalls{{
        {MIM_OPEN, 0},
        {MIM_DATA, packShortMessage(0x90, 69, 100)},
        {MIM_DATA, packShortMessage(0xB0, 21, 90)},
        {MIM_LONGDATA, packShortMessage(0x80, 69, 0)},
        {MIM_ERROR, packShortMessage(0x80, 69, 0)},
        {MIM_DATA, packShortMessage(0x90, 76, 90)},
        {MIM_CLOSE, 0},
        {MIM_DATA, packShortMessage(0x90, 64, 80)},
    }};
    live::LiveInstrument viaWinMm;
    live::LiveInstrument direct;
    viaWinMm.learnController(controls::ControlId::Havoc);
    direct.learnController(controls::ControlId::Havoc);
    for (const Call& call : kCalls) {
        WinMmPorts::onMidiInput(
            nullptr, call.message,
            reinterpret_cast<DWORD_PTR>(static_cast<midi::MidiReceiver*>(&viaWinMm)), call.param1,
            1234);
        if (call.message == MIM_DATA) {
            direct.playMessage(call.param1);
        } else if (call.message == MIM_CLOSE) {
            direct.onMidiMessage(midi::MidiMessageKind::Close, 0, 0);
        }
        const std::vector<float> heard = render(viaWinMm);
        EXPECT_EQ(heard, render(direct)) << "after message " << std::hex << call.message;
        EXPECT_EQ(viaWinMm.noteStatus().reports, direct.noteStatus().reports);
        EXPECT_EQ(viaWinMm.instrument().state().gate.load(),
                  direct.instrument().state().gate.load());
    }
    EXPECT_EQ(viaWinMm.noteStatus().text, "On");
    EXPECT_EQ(viaWinMm.noteStatus().reports, 4u);
    EXPECT_EQ(viaWinMm.controllers().controllerFor(controls::ControlId::Havoc), 21);
}

// What MidiInput needs of the window, recorded.
struct RecordedList final : midi::DeviceListView {
    std::vector<std::string> entries;
    int selected = -1;
    std::vector<std::string> statusTexts;
    void addListItem(const std::string& text) override { entries.push_back(text); }
    void selectIndex(int index) override { selected = index; }
    int selectedIndex() const override { return selected; }
    bool hasStatusBar() const override { return true; }
    void setMidiStatusText(const std::string& text) override { statusTexts.push_back(text); }
};

// Wine on a machine without a MIDI system lists no devices: the list stays empty with nothing
// selected, no device is chosen, and opening, starting, switching and closing fail cleanly,
// each saying "No MIDI IN".
TEST(WinMmPorts, WithoutDevicesTheListIsEmptyAndInputSaysSo) {
    live::LiveInstrument instrument;
    WinMmPorts ports(instrument);
    RecordedList list;
    midi::MidiInput input(ports, list);
    ASSERT_EQ(input.listMidiDevices(), 0) << "this machine has MIDI input devices";
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.selected, -1);
    EXPECT_EQ(input.deviceNumber(), -1);
    input.openMidiInput();
    input.switchMidiDevice();
    input.closeMidiInput();
    EXPECT_EQ(list.statusTexts, (std::vector<std::string>{"No MIDI IN", "No MIDI IN"}));
    EXPECT_FALSE(ports.deviceName(0).has_value());
    EXPECT_FALSE(ports.open(0));
    EXPECT_FALSE(ports.start());
}

// The mono stream goes to the front pair (or the one channel) of the device's mix; other
// channels stay silent.
TEST(WasapiOutput, FansMonoOutToTheFrontChannels) {
    const std::array<float, 3> mono = {0.25f, -1.0f, 0.5f};
    struct Case {
        std::uint32_t channels;
        std::vector<float> expected;
    };
    const std::array<Case, 3> cases{{
        {1, {0.25f, -1.0f, 0.5f}},
        {2, {0.25f, 0.25f, -1.0f, -1.0f, 0.5f, 0.5f}},
        {4, {0.25f, 0.25f, 0, 0, -1.0f, -1.0f, 0, 0, 0.5f, 0.5f, 0, 0}},
    }};
    for (const Case& c : cases) {
        std::vector<float> interleaved(mono.size() * c.channels, 7.0f);
        fanOut(mono, interleaved.data(), c.channels);
        EXPECT_EQ(interleaved, c.expected) << c.channels << " channels";
    }
}

// Low latency is the device's minimum period, far below the standard 75 ms, and a change of
// latency opens the device again at once. Needs a sound device: run with the null device of
// alsa-null.conf, skipped without one.
TEST(WasapiOutput, LowLatencyOpensTheDeviceAgainWithItsShortestPeriod) {
    using namespace std::chrono_literals;
    live::LiveInstrument instrument;
    WasapiOutput output(instrument);
    if (!output.open()) {
        GTEST_SKIP() << output.errorText();
    }
    const std::optional<double> standard = output.outputLatency();
    ASSERT_TRUE(standard.has_value());
    EXPECT_GE(*standard, 0.075);
    output.start();
    ASSERT_TRUE(output.reopen(
        settings::Latency::Low, [] {}, 3s));
    const std::optional<double> low = output.outputLatency();
    ASSERT_TRUE(low.has_value()) << output.errorText();
    EXPECT_LT(*low, *standard);
    std::printf("output latency: standard %.1f ms, low %.1f ms\n", *standard * 1e3, *low * 1e3);
    EXPECT_TRUE(output.shutdown([] {}, 3s));
    EXPECT_FALSE(output.outputLatency().has_value());
}

}  // namespace
}  // namespace vireon::win32
