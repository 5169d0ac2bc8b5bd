// SPDX-License-Identifier: GPL-3.0-or-later
// The live instrument as its sources and the window meet it, on one thread. The threads
// together are the stress test's business.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ChaosOscillator.h"
#include "instrument/Instrument.h"
#include "live/LiveInstrument.h"
#include "midi/MidiMessage.h"

namespace vireon::live {
namespace {

using midi::MidiMessageKind;
using midi::packShortMessage;

// Applies what the sources sent, due or not; where in a block it lands is the timing tests' part.
void render(LiveInstrument& instrument) {
    instrument.applyPending();
}

// The clock the timing tests set by hand, in nanoseconds.
ClockReading fakeTime = 0;
ClockReading fakeClock() noexcept {
    return fakeTime;
}
constexpr ClockReading kMs = 1'000'000;
// One frame at 8000 Hz.
constexpr ClockReading kFrame = 125'000;

std::size_t firstSound(const std::vector<float>& samples) {
    return static_cast<std::size_t>(
        std::find_if(samples.begin(), samples.end(), [](float x) { return x != 0.0f; }) -
        samples.begin());
}

// Events act in the order they came: a legato note and its release leave the first note held at
// the second note's pitch.
TEST(LiveInstrument, EventsActInTheOrderTheyCame) {
    LiveInstrument instrument;
    const engine::SynthState& state = instrument.instrument().state();
    instrument.playMessage(packShortMessage(0x90, 69, 100));
    instrument.playMessage(packShortMessage(0x90, 81, 100));
    instrument.onMidiMessage(MidiMessageKind::Data, packShortMessage(0x80, 81, 0), 0);
    instrument.moveControl(controls::ControlId::Havoc, 100);
    EXPECT_EQ(state.gate.load(), 0);

    instrument.render(std::vector<float>(64).data(), 64);
    EXPECT_EQ(state.gate.load(), 1);
    EXPECT_EQ(state.noteCount.load(), 1);
    EXPECT_EQ(state.frequency.load(), 880.0);
    EXPECT_EQ(state.omega.load(), engine::havocForPosition(100));
    EXPECT_EQ(instrument.droppedEvents(), 0u);
}

// Timed messages act at their frames, and a queued event at the frame its time gives, among
// them: the block equals one split at those frames, with the messages handed over between the
// pieces. A message timed before the frame reached (out of order) acts there, one beyond the
// block at its end, and system exclusive does nothing.
TEST(LiveInstrument, TimedMessagesActAtTheirFramesInsideTheBlock) {
    using Timed = LiveInstrument::TimedMessage;
    const std::array<std::uint8_t, 3> noteOn = {0x90, 69, 100};
    const std::array<std::uint8_t, 3> legato = {0x90, 81, 100};
    const std::array<std::uint8_t, 3> noteOff = {0x80, 81, 0};
    const std::array<std::uint8_t, 4> exclusive = {0xF0, 0x7D, 0x01, 0xF7};
    std::vector<Timed> messages = {
        {1000, noteOn}, {1200, legato}, {1100, noteOff}, {1300, exclusive}, {9000, legato}};
    std::size_t next = 0;
    const auto take = [](void* context, Timed& message) noexcept {
        auto& [list, index] = *static_cast<std::pair<std::vector<Timed>*, std::size_t*>*>(context);
        if (*index == list->size()) {
            return false;
        }
        message = (*list)[(*index)++];
        return true;
    };
    std::pair<std::vector<Timed>*, std::size_t*> source{&messages, &next};
    // A queued note-off, played at 0 ms, falls between them: after a first block of 2000 frames
    // the delay is 251 ms, which from a block begun at 107.25 ms is frame 1150.
    fakeTime = 0;
    LiveInstrument timed(fakeClock);
    std::vector<float> played(6000);
    timed.render(played.data(), 2000);
    timed.playMessage(packShortMessage(0x80, 69, 0));
    fakeTime = 107 * kMs + kMs / 4;
    timed.render(played.data() + 2000, 2000, {take, &source});
    EXPECT_EQ(timed.instrument().state().noteCount.load(), 1);
    timed.render(played.data() + 4000, 2000);

    instrument::Instrument split(8000);
    std::vector<float> expected(6000);
    split.render(expected.data(), 3000);
    split.handleMessage(packShortMessage(0x90, 69, 100));
    split.render(expected.data() + 3000, 150);
    split.handleMessage(packShortMessage(0x80, 69, 0));
    split.render(expected.data() + 3150, 50);
    split.handleMessage(packShortMessage(0x90, 81, 100));
    split.handleMessage(packShortMessage(0x80, 81, 0));
    split.render(expected.data() + 3200, 800);
    split.handleMessage(packShortMessage(0x90, 81, 100));
    split.render(expected.data() + 4000, 2000);
    EXPECT_EQ(played, expected);
    EXPECT_TRUE(std::any_of(played.begin(), played.end(), [](float x) { return x != 0.0f; }));
}

// A queued event applies one delay after it arrived, at the frame that time falls on in the
// block begun at `blockStart`. After a first block of 256 frames (32 ms) the delay is 33 ms. Due
// after the block, the event waits for the next one, begun 32 ms later; already passed, it
// applies at the block's start and counts as late.
TEST(LiveInstrument, QueuedEventsApplyOneDelayAfterTheyArrived) {
    struct Row {
        ClockReading arrived;
        ClockReading blockStart;
        std::size_t frame;
        std::uint64_t late;
    };
    constexpr std::array<Row, 5> kRows{{
        {0, 10 * kMs, 184, 0},
        {kMs / 2, 2 * kMs, 252, 0},
        {10 * kMs, 0, 344, 0},
        {5 * kMs, 38 * kMs, 0, 0},
        {0, 40 * kMs, 0, 1},
    }};
    constexpr std::uint32_t kBlock = 256;
    constexpr std::size_t kPlayed = 2 * kBlock + 1600;
    const std::uint32_t noteOn = packShortMessage(0x90, 69, 100);

    instrument::Instrument reference(8000);
    std::vector<float> expected(kBlock + kPlayed);
    reference.render(expected.data(), kBlock);
    reference.handleMessage(noteOn);
    reference.render(expected.data() + kBlock, kPlayed);
    const std::size_t onset = firstSound({expected.begin() + kBlock, expected.end()});
    ASSERT_LT(onset + 344, kPlayed);

    for (const Row& row : kRows) {
        fakeTime = -kBlock * kFrame;
        LiveInstrument instrument(fakeClock);
        std::vector<float> played(kBlock + kPlayed);
        instrument.render(played.data(), kBlock);
        EXPECT_EQ(instrument.eventDelay(), 33 * kMs);
        fakeTime = row.arrived;
        instrument.playMessage(noteOn);
        fakeTime = row.blockStart;
        instrument.render(played.data(), kBlock);
        fakeTime = row.blockStart + kBlock * kFrame;
        instrument.render(played.data() + kBlock, kPlayed - kBlock);
        played.resize(kPlayed);
        EXPECT_EQ(firstSound(played), onset + row.frame) << "arrived " << row.arrived;
        EXPECT_EQ(instrument.lateEvents(), row.late) << "arrived " << row.arrived;
    }
}

// Where the output says when each block is heard, an event is heard the same time after it
// arrived however unevenly the blocks are rendered: 4 ms blocks heard back to back are rendered
// 12, 10, 8 and 11 ms ahead in turn, with a 50 ms underrun after the twelfth. The delay is 5 ms;
// one arriving just as a block 12 ms ahead began is due as the next starts, so the lead is 11 ms.
// An output on another clock is not believed. What an earlier stream taught is forgotten.
TEST(LiveInstrument, EventsKeepTheirTimeWhereTheOutputSaysWhenBlocksAreHeard) {
    struct Row {
        std::size_t block;  // the event arrives `after` that block began rendering
        ClockReading after, outputClock, heardAfter;
    };
    constexpr std::array<Row, 6> kRows{{
        {4, 0, 0, 16 * kMs},
        {5, 2 * kMs, 0, 16 * kMs},
        {6, 2 * kMs, 0, 16 * kMs},
        {9, 3 * kMs, 0, 16 * kMs},
        {15, kMs / 2, 0, 16 * kMs},
        {6, 2 * kMs, 300 * kMs, 17 * kMs},
    }};
    constexpr std::uint32_t kBlock = 32;
    constexpr std::size_t kBlocks = 100;
    constexpr std::array<ClockReading, 4> kAhead{12 * kMs, 10 * kMs, 8 * kMs, 11 * kMs};
    const auto heard = [](std::size_t block) {
        return static_cast<ClockReading>(100 + 4 * block + (block >= 12 ? 50 : 0)) * kMs;
    };
    const auto rendered = [&](std::size_t block) { return heard(block) - kAhead[block % 4]; };
    const std::uint32_t noteOn = packShortMessage(0x90, 69, 100);
    instrument::Instrument reference(8000);
    std::vector<float> expected(kBlock * kBlocks);
    reference.handleMessage(noteOn);
    reference.render(expected.data(), kBlock * kBlocks);
    const std::size_t onset = firstSound(expected);
    ASSERT_LT(onset, expected.size() / 2);

    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "block " << row.block << ", after " << row.after);
        LiveInstrument instrument(fakeClock);
        std::vector<float> played(kBlock * kBlocks);
        for (fakeTime = 0; fakeTime < 64 * kMs; fakeTime += 32 * kMs) {
            instrument.render(played.data(), 256, {fakeTime, fakeTime + 500 * kMs});
        }
        instrument.beginStream();
        const ClockReading arrived = rendered(row.block) + row.after;
        for (std::size_t block = 0; block < kBlocks; ++block) {
            if (block > 0 && rendered(block - 1) <= arrived && arrived < rendered(block)) {
                fakeTime = arrived;
                instrument.playMessage(noteOn);
            }
            fakeTime = rendered(block);
            instrument.render(played.data() + block * kBlock, kBlock,
                              {fakeTime + row.outputClock, heard(block) + row.outputClock});
        }
        const std::size_t at = firstSound(played) - onset;
        EXPECT_EQ(heard(at / kBlock) + static_cast<ClockReading>(at % kBlock) * kFrame - arrived,
                  row.heardAfter);
        EXPECT_EQ(instrument.lateEvents(), 0u);
    }
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
