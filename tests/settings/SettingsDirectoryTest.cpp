// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsDirectory.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Environment.h"

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

TEST(SettingsDirectoryTest, UserFolderComesFromXdgConfigHomeOrHome) {
    EXPECT_EQ(userSettingsDirectoryFor("/home/p/cfg", "/home/p"), "/home/p/cfg/vireon/");
    EXPECT_EQ(userSettingsDirectoryFor("/home/p/cfg/", "/home/p"), "/home/p/cfg/vireon/");
    EXPECT_EQ(userSettingsDirectoryFor("", "/home/p"), "/home/p/.config/vireon/");
    EXPECT_EQ(userSettingsDirectoryFor("", "/home/p/"), "/home/p/.config/vireon/");
    EXPECT_EQ(userSettingsDirectoryFor("", "/"), "/.config/vireon/");
    // A relative folder would move with the current directory: it is not a valid setting.
    EXPECT_EQ(userSettingsDirectoryFor("cfg", "/home/p"), "/home/p/.config/vireon/");
    EXPECT_EQ(userSettingsDirectoryFor("cfg", "home"), "");
    EXPECT_EQ(userSettingsDirectoryFor("", ""), "");
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

namespace fs = std::filesystem;

/// A fresh folder below the temporary directory, owned by root and closed to others' writes,
/// removed with the object.
class SystemFolder {
  public:
    SystemFolder() {
        std::string pattern = (fs::temp_directory_path() / "vireon-folder-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            fs::permissions(path_, static_cast<fs::perms>(0755));
        }
    }
    ~SystemFolder() {
        if (!path_.empty()) {
            fs::remove_all(path_);
        }
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Only a user other than root is bound by a folder's permissions; these tests become nobody in
// a child process, which needs root.
constexpr const char* kNeedsRoot = "needs root, to run as nobody in a child process";

TEST(SettingsDirectoryTest, AFolderIsTheUsersWhenItOrItsSettingsFileIsWritable) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << kNeedsRoot;
    }
    SystemFolder system;
    ASSERT_FALSE(system.path().empty());
    const fs::path shared = system.path() / "shared";
    const fs::path locked = system.path() / "locked";
    const fs::path open = system.path() / "open";
    for (const fs::path& folder : {shared, locked, open}) {
        fs::create_directory(folder);
    }
    std::ofstream(shared / "chaos.txt") << "12\r\n";
    fs::permissions(shared / "chaos.txt", static_cast<fs::perms>(0666));
    std::ofstream(locked / "chaos.txt") << "12\r\n";
    fs::permissions(open, static_cast<fs::perms>(01777));

    const testsupport::ChildOutcome outcome = testsupport::runInChildProcess(
        [&] {
            if (!testsupport::becomeNobody()) {
                return 2;
            }
            int failures = 0;
            failures += canKeepSettingsIn(system.path().string() + "/") ? 1 : 0;
            failures += canKeepSettingsIn(locked.string() + "/") ? 1 : 0;
            failures += canKeepSettingsIn(shared.string() + "/") ? 0 : 1;
            failures += canKeepSettingsIn(open.string() + "/") ? 0 : 1;
            // No folder means the current one.
            std::filesystem::current_path(open);
            failures += canKeepSettingsIn("") ? 0 : 1;
            std::filesystem::current_path(locked);
            failures += canKeepSettingsIn("") ? 1 : 0;
            return failures == 0 ? 0 : 10 + failures;
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

TEST(SettingsDirectoryTest, ProgramFolderTheUserCannotWriteGivesTheUsersConfigFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << kNeedsRoot;
    }
    // The test program's own folder belongs to root, like an installed program's.
    const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
    ASSERT_FALSE(fs::exists(programFolder / "chaos.txt"));
    EXPECT_EQ(settingsDirectory(), programFolder.string() + "/");

    const testsupport::ChildOutcome outcome = testsupport::runInChildProcess(
        [&] {
            testsupport::ScopedEnvironmentVariable config("XDG_CONFIG_HOME", "/nowhere/config");
            testsupport::ScopedEnvironmentVariable home("HOME", "/nowhere/home");
            if (!testsupport::becomeNobody()) {
                return 2;
            }
            if (settingsDirectory() != "/nowhere/config/vireon/") {
                return 3;
            }
            ::unsetenv("XDG_CONFIG_HOME");
            return settingsDirectory() == "/nowhere/home/.config/vireon/" ? 0 : 4;
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}
#endif

}  // namespace
}  // namespace vireon::settings
