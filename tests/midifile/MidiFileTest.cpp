// SPDX-License-Identifier: GPL-3.0-or-later
#include "midifile/MidiFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/MidiFileBytes.h"

namespace vireon::midifile {
namespace {

using namespace std::string_literals;
using test::midiChunk;
using test::midiFile;
using test::midiTrack;

const std::string kNoteTrack = midiTrack({{0, "\x90\x45\x64"}, {96, "\x80\x45\x00"s}});
// 240 beats per minute from the start: 96 ticks are a quarter second.
const std::string kTempoTrack = midiTrack({{0, "\xFF\x51\x03\x03\xD0\x90"}});

struct Expected {
    double seconds;
    std::uint32_t length;
    std::array<std::uint8_t, 3> bytes;
};

void expectEvents(const std::string& file, const std::vector<Expected>& expected) {
    auto read = readMidiFileEvents(file);
    ASSERT_TRUE(std::holds_alternative<std::vector<MidiFileEvent>>(read))
        << std::get<MidiFileProblem>(read).reason;
    const auto& events = std::get<std::vector<MidiFileEvent>>(read);
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].seconds, expected[i].seconds) << i;
        EXPECT_EQ(events[i].length, expected[i].length) << i;
        EXPECT_EQ(events[i].bytes, expected[i].bytes) << i;
    }
}

TEST(MidiFile, ReadsEveryKindOfEvent) {
    const std::string longText = "\x00\xFF\x01\x81\x48"s + std::string(200, 'a');
    const struct {
        const char* what;
        std::string file;
        std::vector<Expected> events;
    } cases[] = {
        {"running status",
         midiFile({"\x00\x90\x45\x64\x60\x45\x00\x00\xFF\x2F\x00"s}),
         {{0.0, 3, {0x90, 0x45, 0x64}}, {0.5, 3, {0x90, 0x45, 0x00}}}},
        {"system exclusive and an escaped message",
         midiFile({midiTrack({{0, "\xF0\x03\x7E\x7F\xF7"}, {0, "\xF7\x03\x90\x45\x64"}})}),
         {{0.0, 4, {0xF0, 0x7E, 0x7F}}, {0.0, 3, {0x90, 0x45, 0x64}}}},
        {"an empty system exclusive message",
         midiFile({midiTrack({{0, "\xF0\x00"s}})}),
         {{0.0, 1, {0xF0, 0, 0}}}},
        {"a real-time byte, repeated by running status",
         midiFile({"\x00\xF8\x60\x40\xFF\x2F\x00"s}),
         {{0.0, 1, {0xF8, 0, 0}}, {0.5, 1, {0xF8, 0, 0}}}},
        {"a meta event continued by running status: a tempo",
         midiFile(
             {"\x00\xFF\x01\x01\x41\x00\x51\x03\x03\xD0\x90\x60\x90\x45\x64\x00\xFF\x2F\x00"s}),
         {{0.25, 3, {0x90, 0x45, 0x64}}}},
        {"a meta event longer than 127 bytes",
         midiFile({longText + "\x00\x90\x45\x64\x00\xFF\x2F\x00"s}),
         {{0.0, 3, {0x90, 0x45, 0x64}}}},
        {"tempo in track 2",
         midiFile({kNoteTrack, kTempoTrack}),
         {{0.0, 3, {0x90, 0x45, 0x64}}, {0.25, 3, {0x80, 0x45, 0x00}}}},
        {"a foreign chunk, which costs no track",
         midiChunk("MThd", "\x00\x01\x00\x01\x00\x60"s) + midiChunk("XFIH", "abc") +
             midiChunk("MTrk", kNoteTrack),
         {{0.0, 3, {0x90, 0x45, 0x64}}, {0.5, 3, {0x80, 0x45, 0x00}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectEvents(c.file, c.events);
    }
}

TEST(MidiFile, SimultaneousEventsKeepTheirOrderAcrossTracks) {
    // Unless a tempo change lies before the end of an earlier track, a track's first event
    // joins the merge as if at tick 0: the order renderings have always had.
    const std::string first =
        midiTrack({{0, "\x90\x40\x64"}, {96, "\x90\x45\x64"}, {192, "\x80\x45\x00"s}});
    const std::string second = midiTrack({{96, "\x90\x48\x64"}, {192, "\x80\x48\x00"s}});
    const std::string secondWithTempo =
        midiTrack({{96, "\x90\x48\x64"}, {96, "\xFF\x51\x03\x07\xA1\x20"}, {192, "\x80\x48\x00"s}});
    for (const auto& [tracks, notes] :
         {std::pair{std::vector{first, second}, std::vector<int>{0x40, 0x48, 0x45, 0x45, 0x48}},
          std::pair{std::vector{first, secondWithTempo},
                    std::vector<int>{0x40, 0x45, 0x48, 0x45, 0x48}}}) {
        auto read = readMidiFileEvents(midiFile(tracks));
        ASSERT_TRUE(std::holds_alternative<std::vector<MidiFileEvent>>(read));
        std::vector<int> played;
        for (const MidiFileEvent& event : std::get<std::vector<MidiFileEvent>>(read)) {
            played.push_back(event.bytes[1]);
        }
        EXPECT_EQ(played, notes);
    }
}

TEST(MidiFile, RefusesWhatItCannotReadWhole) {
    const std::string good = midiFile({kNoteTrack, kNoteTrack});
    // Every cut-off copy is refused.
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_TRUE(std::holds_alternative<MidiFileProblem>(
            readMidiFileEvents(std::string_view(good).substr(0, size))))
            << size;
    }
    // A few stray bytes after the last complete track are padding, not a cut-off chunk.
    EXPECT_TRUE(
        std::holds_alternative<std::vector<MidiFileEvent>>(readMidiFileEvents(good + "\0\0"s)));

    std::string longHeader = good;
    longHeader[7] = 8;
    std::string oversized = midiFile({kNoteTrack});
    oversized[21] = 16;
    const auto withTrack = [](const std::string& data) { return midiFile({data}); };
    std::string farApart;  // clock bytes the longest delta time apart
    for (int i = 0; i < 9; ++i) {
        farApart += "\xFF\xFF\xFF\x7F\xF8"s;
    }
    const struct {
        std::string file;
        std::string reasonPart;
    } cases[] = {
        {"RIFF" + good.substr(4), "does not start with the \"MThd\" header"},
        {longHeader, "header chunk is 8 bytes long instead of 6"},
        {midiFile({kNoteTrack}, 0xE728), "SMPTE frames"},
        {oversized, "track 1 claims 16 bytes but only 12 remain"},
        {midiFile({kNoteTrack}, 96, 3),
         "declares 3 tracks but holds 1, so it is probably truncated"},
        {midiFile({kNoteTrack, kNoteTrack}, 96, 1), "declares 1 track but holds 2"},
        {withTrack("\x00\x90\x45\x64"s), "track 1 does not end with an end-of-track event"},
        {midiFile({kNoteTrack, ""}), "track 2 does not end with an end-of-track event"},
        {withTrack("\x00\x90\x45"s), "track 1 ends in the middle of an event"},
        {withTrack("\x81\x80"s), "track 1 ends in the middle of an event"},
        {withTrack("\x00\xFF\x01\x7F\x41\x00\xFF\x2F\x00"s), "track 1 ends in the middle"},
        {withTrack("\x00\xF0\x10\x41\x00\xFF\x2F\x00"s), "track 1 ends in the middle"},
        {withTrack("\x81\x80\x80\x80\x00\xFF\x2F\x00"s), "longer than four bytes at byte 22"},
        {withTrack("\x00\x45\x64\x00\xFF\x2F\x00"s), "data byte where an event should start"},
        {withTrack("\x00\xF0\x01\xF7\x00\x10\x00\xFF\x2F\x00"s), "data byte where an event"},
        {withTrack("\x00\xF4\x00\xFF\x2F\x00"s), "the undefined status byte 0xF4 at byte 23"},
        {withTrack("\x00\xFF\x51\x02\x07\xA1\x00\xFF\x2F\x00"s), "tempo event of 2 bytes"},
        {withTrack(farApart), "track 1 runs past tick 2147483647"},
    };
    for (const auto& c : cases) {
        auto result = readMidiFileEvents(c.file);
        const auto* p = std::get_if<MidiFileProblem>(&result);
        ASSERT_NE(p, nullptr) << c.reasonPart;
        EXPECT_NE(p->reason.find(c.reasonPart), std::string::npos) << p->reason;
    }
}

}  // namespace
}  // namespace vireon::midifile
