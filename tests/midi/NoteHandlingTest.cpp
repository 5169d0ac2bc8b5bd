// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"

namespace vireon::midi {
namespace {

class RecordingSink : public StatusSink {
  public:
    void reportNoteStatus(std::string_view text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

class NoteHandling : public ::testing::Test {
  protected:
    NoteHandling() { handler.connectStatusSink(&sink); }

    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        handler.onMidiMessage(MidiMessageKind::Data, packShortMessage(status, data1, data2), 0);
    }

    engine::SynthState state;
    MidiNoteHandler handler{state};
    RecordingSink sink;
};

TEST_F(NoteHandling, FirstNoteOnOpensTheGateAndReportsOn) {
    state.noteStarted = 1;
    state.phaseReset = 1;
    send(0x90, 69, 100);
    EXPECT_EQ(state.frequency.load(), 440.0);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(state.noteCount.load(), 1);
    // Opening the gate leaves the envelope flags to the closing sequence.
    EXPECT_EQ(state.noteStarted.load(), 1);
    EXPECT_EQ(sink.texts, std::vector<std::string>{"On"});
}

TEST_F(NoteHandling, LatestNoteWinsAndReleasingItKeepsItsPitch) {
    send(0x90, 60, 100);
    EXPECT_NEAR(state.frequency.load(), 261.63, 0.005);
    send(0x90, 64, 100);
    EXPECT_NEAR(state.frequency.load(), 329.63, 0.005);
    send(0x80, 64, 0);
    EXPECT_EQ(state.noteCount.load(), 1);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_NEAR(state.frequency.load(), 329.63, 0.005);

    send(0x80, 60, 64);
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_NEAR(state.previousFrequency.load(), 329.63, 0.005);
    EXPECT_EQ(sink.texts, (std::vector<std::string>{"On", "On", "On", "Off"}));
}

TEST_F(NoteHandling, NoteOffClosesTheGateAndClearsTheEnvelopeFlags) {
    send(0x90, 69, 100);
    state.noteStarted = 1;
    state.phaseReset = 1;
    send(0x90, 69, 0);  // velocity 0 is a note-off
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.noteStarted.load(), 0);
    EXPECT_EQ(state.phaseReset.load(), 0);
    EXPECT_EQ(state.previousFrequency.load(), 440.0);
    EXPECT_EQ(handler.noteText(), "Off");
}

TEST_F(NoteHandling, StrayNoteOffBeforeAnyNoteRunsTheClosingSequence) {
    EXPECT_EQ(handler.noteText(), "");
    send(0x90, 60, 0);
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.previousFrequency.load(), 0.0);
    EXPECT_EQ(sink.texts, std::vector<std::string>{"Off"});
}

TEST_F(NoteHandling, OtherChannelsAndMessagesChangeNothingButReportAgain) {
    send(0x90, 69, 100);
    const double frequency = state.frequency.load();
    for (std::uint8_t status : {0x91, 0x81, 0x9F, 0xB0, 0xE0, 0xF8, 0xFE}) {
        send(status, 40, 100);
    }
    EXPECT_EQ(state.frequency.load(), frequency);
    EXPECT_EQ(state.noteCount.load(), 1);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(sink.texts, std::vector<std::string>(8, "On"));
}

TEST_F(NoteHandling, DeviceCloseDropsHeldNotesSilently) {
    send(0x90, 60, 100);
    send(0x90, 64, 100);
    state.noteStarted = 1;
    state.phaseReset = 1;
    handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.noteStarted.load(), 0);
    EXPECT_EQ(state.phaseReset.load(), 0);
    EXPECT_EQ(state.previousFrequency.load(), state.frequency.load());
    EXPECT_EQ(sink.texts.size(), 2u);  // nothing reported for the close
    EXPECT_EQ(handler.noteText(), "Off");

    handler.onMidiMessage(MidiMessageKind::Open, 0, 0);
    EXPECT_EQ(sink.texts.size(), 2u);
}

TEST_F(NoteHandling, PitchRangeEnds) {
    send(0x90, 0, 1);
    EXPECT_NEAR(state.frequency.load(), 8.1758, 5e-5);
    send(0x90, 127, 1);
    EXPECT_NEAR(state.frequency.load(), 12543.85, 5e-3);
}

TEST_F(NoteHandling, OnlyTheLowThreeBytesOfAMessageCount) {
    handler.onMidiMessage(MidiMessageKind::Data, 0xFF000000u | packShortMessage(0x90, 69, 100), 7);
    EXPECT_EQ(state.frequency.load(), 440.0);
    EXPECT_EQ(state.noteCount.load(), 1);
}

TEST_F(NoteHandling, NoteNumbersBeyondMidiAreIgnored) {
    send(0x90, 69, 100);
    send(0x90, 200, 100);
    EXPECT_EQ(state.frequency.load(), 440.0);
    EXPECT_EQ(state.noteCount.load(), 1);
    EXPECT_EQ(sink.texts.size(), 2u);
}

TEST(NoteHandlingWithoutSink, ReportsGoNowhere) {
    engine::SynthState state;
    MidiNoteHandler handler(state);
    handler.onMidiMessage(MidiMessageKind::Data, packShortMessage(0x90, 69, 100), 0);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(handler.noteText(), "On");
}

}  // namespace
}  // namespace vireon::midi
