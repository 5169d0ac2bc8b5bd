// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/MidiFileReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vireon::tools {
namespace {

using namespace std::string_literals;

const std::string kEndOfTrack = "\x00\xFF\x2F\x00"s;

std::string bigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string chunk(const std::string& id, const std::string& data) {
    return id + bigEndian(static_cast<std::uint32_t>(data.size()), 4) + data;
}

/// A Standard MIDI File with the given track data, 96 ticks per quarter note, default tempo.
std::string midiFile(const std::vector<std::string>& tracks, std::uint32_t declaredTracks = 0) {
    std::string file = chunk(
        "MThd",
        "\x00\x01"s +
            bigEndian(declaredTracks ? declaredTracks : static_cast<std::uint32_t>(tracks.size()),
                      2) +
            "\x00\x60"s);
    for (const std::string& track : tracks) {
        file += chunk("MTrk", track);
    }
    return file;
}

const std::string kNoteTrack = "\x00\x90\x45\x64"s + "\x60\x80\x45\x00"s + kEndOfTrack;

TEST(ToolMidiFile, ChunkCheckRefusesDamagedStructure) {
    const std::string good = midiFile({kNoteTrack, kNoteTrack});
    auto kept = keepHeaderAndTracks(good);
    ASSERT_TRUE(std::holds_alternative<std::string>(kept));
    EXPECT_EQ(std::get<std::string>(kept), good);
    // A few stray bytes after the last complete track are padding, not a cut-off chunk.
    kept = keepHeaderAndTracks(good + "\0\0"s);
    ASSERT_TRUE(std::holds_alternative<std::string>(kept));
    EXPECT_EQ(std::get<std::string>(kept), good);

    // Every cut-off copy is refused before the library could read past its end.
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_TRUE(std::holds_alternative<MidiFileProblem>(
            keepHeaderAndTracks(std::string_view(good).substr(0, size))))
            << size;
    }

    struct Case {
        std::string file;
        std::string reasonPart;
    };
    std::string longHeader = good;
    longHeader[7] = 8;
    // Still ends in an end-of-track event, but the size runs past the end of the file.
    std::string oversized = midiFile({kNoteTrack});
    oversized[21] = 16;
    std::string smpte = good;
    smpte[12] = '\xE7';
    const Case cases[] = {
        {"RIFF" + good.substr(4), "does not start with the \"MThd\" header"},
        {longHeader, "header chunk is 8 bytes long instead of 6"},
        {smpte, "SMPTE frames"},
        {oversized, "track 1 claims 16 bytes but only 12 remain"},
        {midiFile({kNoteTrack}, 3), "declares 3 tracks but holds 1, so it is probably truncated"},
        {midiFile({kNoteTrack, kNoteTrack}, 1), "declares 1 track but holds 2"},
        {midiFile({"\x00\x90\x45\x64"s}), "track 1 does not end with an end-of-track event"},
        {midiFile({kNoteTrack, ""}), "track 2 does not end with an end-of-track event"},
    };
    for (const Case& c : cases) {
        auto result = keepHeaderAndTracks(c.file);
        const auto* p = std::get_if<MidiFileProblem>(&result);
        ASSERT_NE(p, nullptr) << c.reasonPart;
        EXPECT_NE(p->reason.find(c.reasonPart), std::string::npos) << p->reason;
    }
}

TEST(ToolMidiFile, ForeignChunksDoNotCostATrack) {
    // Left in, the library would count the foreign chunk as the one declared track.
    const std::string withForeignChunk = chunk("MThd", "\x00\x01\x00\x01\x00\x60"s) +
                                         chunk("XFIH", "abc") + chunk("MTrk", kNoteTrack);
    auto kept = keepHeaderAndTracks(withForeignChunk);
    ASSERT_TRUE(std::holds_alternative<std::string>(kept));
    auto events = loadMidiEvents(std::get<std::string>(kept));
    ASSERT_TRUE(std::holds_alternative<std::vector<MidiFileEvent>>(events));
    EXPECT_EQ(std::get<std::vector<MidiFileEvent>>(events).size(), 2u);
}

TEST(ToolMidiFile, LibraryFailuresOnTrackDataBecomeProblemsNotCrashes) {
    // Well-formed chunks whose track data makes the MIDI file library abort: an 0xF7 escape
    // event, and an empty system-exclusive message.
    const std::string escape = midiFile({"\x00\xF7\x02\x10\x10"s + kNoteTrack});
    const std::string emptySysex = midiFile({"\x00\xF0\x00\x90\x45\x64"s + kEndOfTrack});
    for (const std::string& file : {escape, emptySysex}) {
        auto kept = keepHeaderAndTracks(file);
        ASSERT_TRUE(std::holds_alternative<std::string>(kept));
        auto events = loadMidiEvents(std::get<std::string>(kept));
        const auto* p = std::get_if<MidiFileProblem>(&events);
        ASSERT_NE(p, nullptr);
        EXPECT_NE(p->reason.find("library failed on its track data"), std::string::npos);
    }
}

TEST(ToolMidiFile, FeedsOnlyChannelAndRealTimeMessages) {
    // Track: system exclusive, clock, a text meta event, song select, note-on, program change,
    // active sensing; only clock, note-on, program change and active sensing are played.
    const std::string track = "\x00\xF0\x03\x7E\x7F\xF7"s + "\x00\xF8"s + "\x00\xFF\x01\x02hi"s +
                              "\x00\xF3\x01"s + "\x60\x90\x45\x64"s + "\x00\xC0\x05"s +
                              "\x30\xFE"s + kEndOfTrack;
    const std::filesystem::path path =
        std::filesystem::path(testing::TempDir()) / "vireon_filtered.mid";
    std::ofstream(path, std::ios::binary) << midiFile({track});
    auto result = readMidiFile(path.string());
    ASSERT_TRUE(std::holds_alternative<std::vector<TimedMessage>>(result))
        << std::get<std::string>(result);
    // 96 ticks at 120 beats per minute are half a second, 4000 samples; 48 ticks 2000 more.
    const std::vector<TimedMessage> expected = {
        {0, 0xF8}, {4000, 0x644590}, {4000, 0x05C0}, {6000, 0xFE}};
    EXPECT_EQ(std::get<std::vector<TimedMessage>>(result), expected);
    std::filesystem::remove(path);

    EXPECT_EQ(feedableMessage({0.0, 2, {0xD0, 0x7F, 0}}), 0x7FD0u);
    EXPECT_EQ(feedableMessage({0.0, 2, {0x90, 0x45, 0}}), std::nullopt);
}

TEST(ToolMidiFile, TempoInALaterTrackTimesEveryTrack) {
    // 240 beats per minute: 96 ticks are a quarter second, 2000 samples.
    const std::string tempoTrack = "\x00\xFF\x51\x03\x03\xD0\x90"s + kEndOfTrack;
    const std::vector<TimedMessage> expected = {{0, 0x644590}, {2000, 0x004580}};
    const std::filesystem::path path =
        std::filesystem::path(testing::TempDir()) / "vireon_tempo_track.mid";
    for (const auto& tracks :
         {std::vector{tempoTrack, kNoteTrack}, std::vector{kNoteTrack, tempoTrack}}) {
        std::ofstream(path, std::ios::binary) << midiFile(tracks);
        auto result = readMidiFile(path.string());
        ASSERT_TRUE(std::holds_alternative<std::vector<TimedMessage>>(result))
            << std::get<std::string>(result);
        EXPECT_EQ(std::get<std::vector<TimedMessage>>(result), expected)
            << "tempo in track " << (tracks.front() == tempoTrack ? 1 : 2);
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace vireon::tools
