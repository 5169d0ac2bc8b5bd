#include "settings/SettingsDirectory.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vireon::settings {
namespace {

constexpr std::string_view kTemp = "/tmp/";
constexpr std::string_view kCurrent = "/home/player/music";

TEST(SettingsDirectoryTest, FileLiesBesideTheProgram) {
    EXPECT_EQ(settingsDirectoryFor("/opt/vireon/bin/vireon", kTemp, kCurrent), "/opt/vireon/bin/");
    EXPECT_EQ(settingsDirectoryFor("/vireon", kTemp, kCurrent), "/");
    // A program in a folder below the temporary directory is not "in" it.
    EXPECT_EQ(settingsDirectoryFor("/tmp/unpacked/vireon", kTemp, kCurrent), "/tmp/unpacked/");
}

TEST(SettingsDirectoryTest, ProgramInTheTemporaryDirectoryUsesTheCurrentDirectory) {
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", kTemp, kCurrent), "/home/player/music/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", kTemp, "/home/player/"), "/home/player/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", kTemp, "/"), "/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", kTemp, ""), "");
}

TEST(SettingsDirectoryTest, TemporaryDirectoryMustMatchByteForByte) {
    EXPECT_EQ(settingsDirectoryFor("/TMP/vireon", kTemp, kCurrent), "/TMP/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", "/TMP/", kCurrent), "/tmp/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", "/tmp", kCurrent), "/tmp/");
}

TEST(SettingsDirectoryTest, LeadingQuoteAndLongPathPrefixAreSkipped) {
    EXPECT_EQ(settingsDirectoryFor("\"/opt/vireon/vireon\"", kTemp, kCurrent), "/opt/vireon/");
    EXPECT_EQ(settingsDirectoryFor("\"/tmp/vireon\"", kTemp, kCurrent), "/home/player/music/");
    EXPECT_EQ(settingsDirectoryFor("\\\\?\\/opt/vireon/vireon", kTemp, kCurrent), "/opt/vireon/");
    EXPECT_EQ(settingsDirectoryFor("\\\\?\\/tmp/vireon", kTemp, kCurrent), "/home/player/music/");
    // Only one quote, only at the very start.
    EXPECT_EQ(settingsDirectoryFor("\"\"/opt/vireon", kTemp, kCurrent), "\"/opt/");
    EXPECT_EQ(settingsDirectoryFor("/opt/\"x\"/vireon", kTemp, kCurrent), "/opt/\"x\"/");
}

TEST(SettingsDirectoryTest, PathEndsAtNulOrBar) {
    EXPECT_EQ(settingsDirectoryFor("/opt/vireon/vireon|/usr/bin/x", kTemp, kCurrent),
              "/opt/vireon/");
    const std::string_view withNul("/opt/vireon/vireon\0/usr/bin/x", 29);
    EXPECT_EQ(settingsDirectoryFor(withNul, kTemp, kCurrent), "/opt/vireon/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon|/opt/", kTemp, kCurrent), "/home/player/music/");
}

TEST(SettingsDirectoryTest, NoSeparatorGivesNoDirectory) {
    EXPECT_EQ(settingsDirectoryFor("vireon", kTemp, kCurrent), "");
    EXPECT_EQ(settingsDirectoryFor("", kTemp, kCurrent), "");
    EXPECT_EQ(settingsDirectoryFor("vireon|/opt/x", kTemp, kCurrent), "");
}

#ifndef _WIN32
TEST(SettingsDirectoryTest, BackslashIsAFileNameCharacterOutsideWindows) {
    EXPECT_EQ(settingsDirectoryFor("/opt/a\\b/vireon", kTemp, kCurrent), "/opt/a\\b/");
    EXPECT_EQ(settingsDirectoryFor("/opt/vireon\\x", kTemp, kCurrent), "/opt/");
    EXPECT_EQ(settingsDirectoryFor("/tmp/vireon", kTemp, "/home/a\\"), "/home/a\\/");
}

/// Points TMPDIR and the current directory elsewhere for one test, and puts them back.
class ProcessDirectories {
  public:
    ProcessDirectories() : current_(std::filesystem::current_path()) {
        if (const char* value = std::getenv("TMPDIR")) {
            temporary_ = value;
        }
    }
    ~ProcessDirectories() {
        std::filesystem::current_path(current_);
        if (temporary_) {
            ::setenv("TMPDIR", temporary_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    void set(const std::string& temporary, const std::filesystem::path& current) {
        ::setenv("TMPDIR", temporary.c_str(), 1);
        std::filesystem::current_path(current);
    }

  private:
    std::filesystem::path current_;
    std::optional<std::string> temporary_;
};

TEST(SettingsDirectoryTest, RunningFromTheTemporaryDirectoryUsesTheCurrentDirectory) {
    const std::filesystem::path programDirectory =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();
    char pattern[] = "/tmp/vireon-directory-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path work = std::filesystem::canonical(pattern);
    // The temporary directory may be named through a link or without its final slash; it
    // still has to be recognised as the folder the program runs from.
    std::filesystem::create_directory_symlink(programDirectory, work / "link");
    {
        ProcessDirectories directories;
        directories.set(programDirectory.string(), work);
        EXPECT_EQ(settingsDirectory(), work.string() + "/");
        directories.set(programDirectory.string() + "/", work);
        EXPECT_EQ(settingsDirectory(), work.string() + "/");
        directories.set((work / "link").string(), work);
        EXPECT_EQ(settingsDirectory(), work.string() + "/");
    }
    std::filesystem::remove_all(work);
}
#endif

}  // namespace
}  // namespace vireon::settings
