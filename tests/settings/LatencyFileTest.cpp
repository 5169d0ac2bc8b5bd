// SPDX-License-Identifier: GPL-3.0-or-later
// The file that remembers the latency chosen in the window: start-up never fails on it.

#include "settings/LatencyFile.h"

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/Environment.h"

namespace vireon::settings {
namespace {

namespace fs = std::filesystem;

class LatencyFileTest : public ::testing::Test {
  protected:
    ~LatencyFileTest() override { fs::remove_all(folder_); }

    void write(std::string_view bytes) {
        std::ofstream(file_, std::ios::binary).write(bytes.data(), std::ssize(bytes));
    }

    std::string read() const {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder_ = testsupport::makeTemporaryFolder("vireon-latency");
    fs::path file_ = latencyFileBeside(folder_ / "chaos.txt");
};

TEST_F(LatencyFileTest, ReadsEachWordAndTakesAnythingElseForStandard) {
    struct Case {
        std::string bytes;
        Latency expected;
    };
    const Case cases[] = {
        {"low\n", Latency::Low},
        {"standard\n", Latency::Standard},
        {"low", Latency::Low},              // no line end
        {"  low \r\n", Latency::Low},       // a hand edit on Windows
        {"low\nstandard\n", Latency::Low},  // the first line counts
        {"Low\n", Latency::Standard},       // not the word Vireon writes
        {"lower\n", Latency::Standard},
        {"lo\n", Latency::Standard},
        {"\nlow\n", Latency::Standard},
        {"", Latency::Standard},
        {std::string("low\0", 4), Latency::Standard},
        {"\xef\xbb\xbflow\n", Latency::Standard},
        {"low" + std::string(100, ' ') + "\n", Latency::Standard},  // longer than any file of ours
    };
    for (const Case& test : cases) {
        write(test.bytes);
        EXPECT_EQ(loadLatency(file_), test.expected) << '"' << test.bytes << '"';
    }
    fs::remove(file_);
    EXPECT_EQ(loadLatency(file_), Latency::Standard);    // missing
    EXPECT_EQ(loadLatency(folder_), Latency::Standard);  // a folder
}

TEST_F(LatencyFileTest, SavesOneWordBesideTheSettingsAndLeavesAReadOnlyFileAlone) {
    const fs::path newFile = latencyFileBeside(folder_ / "new" / "chaos.txt");
    ASSERT_TRUE(saveLatency(Latency::Low, newFile));
    EXPECT_EQ(loadLatency(newFile), Latency::Low);
    ASSERT_TRUE(saveLatency(Latency::Standard, file_));
    EXPECT_EQ(read(), "standard\n");
    EXPECT_FALSE(fs::exists(folder_ / "chaos.txt"));

    fs::permissions(file_, fs::perms::owner_read);
    EXPECT_FALSE(saveLatency(Latency::Low, file_));
    EXPECT_EQ(read(), "standard\n");
}

}  // namespace
}  // namespace vireon::settings
