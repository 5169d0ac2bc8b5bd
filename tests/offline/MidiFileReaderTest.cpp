// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/MidiFileReader.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/MidiFileBytes.h"

namespace vireon::offline {
namespace {

using namespace std::string_literals;
using test::midiFile;

const std::string kEndOfTrack = "\x00\xFF\x2F\x00"s;

TEST(OfflineMidiFile, FeedsOnlyChannelAndRealTimeMessages) {
    // Track: system exclusive, clock, a text meta event, song select, note-on, program change,
    // active sensing; only clock, note-on, program change and active sensing are played.
    const std::string track = "\x00\xF0\x03\x7E\x7F\xF7"s + "\x00\xF8"s + "\x00\xFF\x01\x02hi"s +
                              "\x00\xF3\x01"s + "\x60\x90\x45\x64"s + "\x00\xC0\x05"s +
                              "\x30\xFE"s + kEndOfTrack;
    auto result = midiFileMessages(midiFile({track}), "filtered.mid");
    ASSERT_TRUE(std::holds_alternative<std::vector<TimedMessage>>(result))
        << std::get<std::string>(result);
    // 96 ticks at 120 beats per minute are half a second, 4000 samples; 48 ticks 2000 more.
    const std::vector<TimedMessage> expected = {
        {0, 0xF8}, {4000, 0x644590}, {4000, 0x05C0}, {6000, 0xFE}};
    EXPECT_EQ(std::get<std::vector<TimedMessage>>(result), expected);

    EXPECT_EQ(feedableMessage({0.0, 2, {0xD0, 0x7F, 0}}), 0x7FD0u);
    EXPECT_EQ(feedableMessage({0.0, 2, {0x90, 0x45, 0}}), std::nullopt);
}

TEST(OfflineMidiFile, RefusesAnEventBeyondTheLongestRendering) {
    // The slowest tempo, 16.777215 s a quarter at one tick a quarter: tick 40000 falls at
    // 671088.6 s, past the 536870.9 s that 2^32 samples last.
    const std::string file = midiFile(
        {test::midiTrack({{0, "\xFF\x51\x03\xFF\xFF\xFF"s}, {40000, "\x90\x45\x64"s}})}, 1);
    const auto result = midiFileMessages(file, "slow.mid");
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_EQ(std::get<std::string>(result),
              "slow.mid has an event at 671088 seconds, beyond the longest time the renderer can "
              "address.");
}

}  // namespace
}  // namespace vireon::offline
