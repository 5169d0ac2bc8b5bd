// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/ReadFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "offline/MidiFileReader.h"
#include "tests/support/MidiFileBytes.h"

namespace vireon::tools {
namespace {

using namespace std::string_literals;
using offline::TimedMessage;

TEST(ToolReadFile, ADirectoryIsNotAnEmptyEventList) {
    // A directory opens like a file on some systems and then reads as nothing at all.
    auto result = readEventsFile(testing::TempDir());
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_NE(std::get<std::string>(result).find("it is a directory"), std::string::npos);
}

TEST(ToolReadFile, MidiFileOnDiskReadsAsItsBytesDoAndAMissingOneIsNamed) {
    // Bytes that a text-mode read would change on Windows: CR LF (note 13 at velocity 10), and
    // 0x1A (a delta time of 26 ticks), where that runtime's text mode stops reading.
    const std::string bytes =
        test::midiFile({test::midiTrack({{0, "\x90\x0D\x0A"s}, {0x1A, "\x80\x0D\x00"s}})});
    const std::filesystem::path path =
        std::filesystem::path(testing::TempDir()) / "vireon_read_file.mid";
    std::ofstream(path, std::ios::binary) << bytes;
    auto fromDisk = readMidiFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(std::holds_alternative<std::vector<TimedMessage>>(fromDisk))
        << std::get<std::string>(fromDisk);
    auto fromMemory = offline::midiFileMessages(bytes, path.string());
    EXPECT_EQ(std::get<std::vector<TimedMessage>>(fromDisk),
              std::get<std::vector<TimedMessage>>(fromMemory));
    EXPECT_EQ(std::get<std::vector<TimedMessage>>(fromDisk).size(), 2u);

    auto missing = readMidiFile(path.string());
    ASSERT_TRUE(std::holds_alternative<std::string>(missing));
    EXPECT_NE(std::get<std::string>(missing).find(path.string()), std::string::npos);
    EXPECT_NE(std::get<std::string>(missing).find("--midi"), std::string::npos);
}

}  // namespace
}  // namespace vireon::tools
