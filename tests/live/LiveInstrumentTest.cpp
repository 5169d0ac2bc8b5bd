// SPDX-License-Identifier: GPL-3.0-or-later
// The live instrument as its sources and the window meet it, on one thread. The threads
// together are the stress test's business.

#include <array>
#include <cstdint>
#include <string_view>

#include <gtest/gtest.h>

#include "engine/ChaosOscillator.h"
#include "live/LiveInstrument.h"
#include "midi/MidiMessage.h"

namespace vireon::live {
namespace {

using midi::MidiMessageKind;
using midi::packShortMessage;

void render(LiveInstrument& instrument) {
    std::array<float, 64> block{};
    instrument.render(block.data(), static_cast<std::uint32_t>(block.size()));
}

// Events wait for the next block and then act in the order they came: a legato note and its
// release leave the first note held at the second note's pitch.
TEST(LiveInstrument, EventsActAtTheNextBlockInTheOrderTheyCame) {
    LiveInstrument instrument;
    const engine::SynthState& state = instrument.instrument().state();
    instrument.playMessage(packShortMessage(0x90, 69, 100));
    instrument.playMessage(packShortMessage(0x90, 81, 100));
    instrument.onMidiMessage(MidiMessageKind::Data, packShortMessage(0x80, 81, 0), 0);
    instrument.moveControl(controls::ControlId::Havoc, 100);
    EXPECT_EQ(state.gate.load(), 0);

    render(instrument);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(state.noteCount.load(), 1);
    EXPECT_EQ(state.frequency.load(), 880.0);
    EXPECT_EQ(state.omega.load(), engine::havocForPosition(100));
    EXPECT_EQ(instrument.droppedEvents(), 0u);
}

// What the window shows is the last report: every data message reports, even one that changes
// nothing, and a device closing under held notes reports nothing.
TEST(LiveInstrument, TheNoteStatusIsTheLastReportAndACloseReportsNothing) {
    struct Step {
        MidiMessageKind kind;
        std::uint32_t message;
        std::string_view shown;
        std::uint32_t reports;
        std::int32_t gate;
    };
    constexpr std::array<Step, 5> kSteps{{
        {MidiMessageKind::Data, packShortMessage(0x90, 60, 100), "On", 1, 1},
        {MidiMessageKind::Data, packShortMessage(0x91, 64, 100), "On", 2, 1},
        {MidiMessageKind::Close, 0, "On", 2, 0},
        {MidiMessageKind::Open, 0, "On", 2, 0},
        {MidiMessageKind::Data, packShortMessage(0x80, 60, 0), "Off", 3, 0},
    }};
    LiveInstrument instrument;
    EXPECT_EQ(instrument.noteStatus().text, "");
    for (const Step& step : kSteps) {
        instrument.onMidiMessage(step.kind, step.message, 0);
        render(instrument);
        EXPECT_EQ(instrument.noteStatus().text, step.shown) << step.message;
        EXPECT_EQ(instrument.noteStatus().reports, step.reports) << step.message;
        EXPECT_EQ(instrument.instrument().state().gate.load(), step.gate) << step.message;
    }
}

// Learning waits for the next channel-1 controller, from any source, binds it and moves the
// control; forgetting also ends a learning that still waits. Disorder is held for the next start.
TEST(LiveInstrument, LearnsTheNextControllerAndForgetsIt) {
    using controls::ControlId;
    LiveInstrument instrument;
    const engine::SynthState& state = instrument.instrument().state();
    instrument.learnController(ControlId::Bedlam);
    instrument.learnController(ControlId::Havoc);            // the later choice wins
    instrument.playMessage(packShortMessage(0xB1, 20, 0));   // channel 2
    instrument.playMessage(packShortMessage(0xB0, 123, 0));  // all notes off
    instrument.onMidiMessage(MidiMessageKind::Data, packShortMessage(0xB0, 21, 127), 0);
    instrument.playMessage(packShortMessage(0xB0, 22, 0));  // learning is over
    render(instrument);
    EXPECT_EQ(instrument.controllers().controllerFor(ControlId::Havoc), 21);
    EXPECT_EQ(instrument.controllers().controllerFor(ControlId::Bedlam), std::nullopt);
    EXPECT_EQ(state.omega.load(), engine::havocForPosition(100));
    EXPECT_EQ(instrument.controllerMove(ControlId::Havoc).moves, 1u);

    instrument.forgetController(ControlId::Havoc);
    instrument.learnController(ControlId::Disorder);
    instrument.forgetController(ControlId::Disorder);
    instrument.playMessage(packShortMessage(0xB0, 21, 0));
    render(instrument);
    EXPECT_EQ(state.omega.load(), engine::havocForPosition(100));
    EXPECT_EQ(instrument.controllers(), instrument::ControllerMap{});

    const float startUpS = state.s.load();
    instrument.learnController(ControlId::Disorder);
    instrument.playMessage(packShortMessage(0xB0, 30, 127));
    render(instrument);
    EXPECT_EQ(instrument.controllerMove(ControlId::Disorder).position, 50);
    EXPECT_EQ(state.s.load(), startUpS);

    // A playing control, beyond the first word of the published map, learns the same way;
    // taking controller 30 from Disorder shows in both words at once.
    instrument.learnController(ControlId::Priority);
    instrument.playMessage(packShortMessage(0xB0, 30, 127));
    render(instrument);
    EXPECT_EQ(instrument.controllers().controllerFor(ControlId::Priority), 30);
    EXPECT_EQ(instrument.controllers().controllerFor(ControlId::Disorder), std::nullopt);
    EXPECT_EQ(instrument.instrument().position(ControlId::Priority), 1);
}

}  // namespace
}  // namespace vireon::live
