// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FileSyncLog.h"
#include "engine/ChaosOscillator.h"
#include "engine/SynthState.h"
#include "settings/NumberParser.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Environment.h"

namespace vireon::settings {
namespace {

namespace fs = std::filesystem;

// What the program does at start-up: the text from the file, Disorder from its leading number.
std::string loadInto(engine::SynthState& state, const fs::path& file) {
    std::string text = loadSettings(file);
    engine::setDisorder(state, parseNumber(text));
    return text;
}

std::string loadInto(engine::SynthState& state) {
    std::string text = loadSettings();
    engine::setDisorder(state, parseNumber(text));
    return text;
}

constexpr std::uint32_t kDefaultSBits = 0x3ECCCCCD;
// A value no load can produce, so a test sees whether s was written at all.
constexpr float kUntouchedS = 123.0f;

std::uint32_t bitsOf(const engine::SynthState& state) {
    return std::bit_cast<std::uint32_t>(state.s.load());
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// Runs `body` in a forked child and returns its exit code, or -1 if it was killed. The child
/// is killed after a few seconds, so a call that blocks fails the test instead of hanging it.
/// Used for what must not touch the test process: resource limits and dropped privileges.
int exitCodeInChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vireon-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        file_ = directory_ / kSettingsFileName;
        state_.s.store(kUntouchedS);
    }
    void TearDown() override {
        if (!directory_.empty()) {
            fs::permissions(directory_, fs::perms::owner_all, fs::perm_options::add);
            fs::remove_all(directory_);
        }
    }

    /// Every name in the test directory, so a test can see that nothing was left behind.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(directory_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path directory_;
    fs::path file_;
    engine::SynthState state_;
};

TEST_F(SettingsFileTest, MissingFileGivesTheDefaults) {
    EXPECT_EQ(loadInto(state_, file_), "10");
    EXPECT_EQ(bitsOf(state_), kDefaultSBits);
}

struct LoadCase {
    std::string_view bytes;
    std::string_view text;
    std::uint32_t sBits;
};

TEST_F(SettingsFileTest, FirstLineIsTheDisorderText) {
    using namespace std::string_view_literals;
    const LoadCase cases[] = {
        {"10\r\n"sv, "10"sv, 0x3ECCCCCD},
        {"25\n"sv, "25"sv, 0x3F800000},
        {"  -3abc\r\n"sv, "  -3abc"sv, 0xBDF5C28F},
        {"12"sv, "12"sv, 0x3EF5C28F},
        {"7\r9\r\n"sv, "7"sv, 0x3E8F5C29},
        {"31\n5\r\n"sv, "31"sv, 0x3F9EB852},
        {"4\0"
         "5\r\n"sv,
         "4"sv, 0x3E23D70A},
        {"\xEF\xBB\xBF"
         "25\r\n"sv,
         "\xEF\xBB\xBF"
         "25"sv,
         0x00000000},
        {""sv, ""sv, 0x00000000},
        {"\r\n25\r\n"sv, ""sv, 0x00000000},
        {"\xFF\x80 abc\t\r\n"sv, "\xFF\x80 abc\t"sv, 0x00000000},
    };
    for (const LoadCase& c : cases) {
        writeBytes(file_, c.bytes);
        state_.s.store(kUntouchedS);
        EXPECT_EQ(loadInto(state_, file_), c.text) << "file: " << c.bytes;
        EXPECT_EQ(bitsOf(state_), c.sBits) << "file: " << c.bytes;
    }
}

TEST_F(SettingsFileTest, AVeryLongFirstLineIsReadOnlyUpToTheCap) {
    std::string line = "13";
    line.append(kMaxDisorderTextBytes - line.size(), 'x');
    // A line of exactly the cap is read whole.
    writeBytes(file_, line + "\r\nsecond line\r\n");
    EXPECT_EQ(loadInto(state_, file_), line);
    EXPECT_EQ(bitsOf(state_), 0x3F051EB8u);  // 13 / 25

    // Longer lines, with or without a line end, give their first kMaxDisorderTextBytes bytes.
    const std::string longer = line + std::string(5 * 1024 * 1024, 'y');
    for (const std::string& content : {longer, longer + "\r\n"}) {
        writeBytes(file_, content);
        state_.s.store(kUntouchedS);
        EXPECT_EQ(loadInto(state_, file_), line);
        EXPECT_EQ(bitsOf(state_), 0x3F051EB8u);
    }
}

TEST_F(SettingsFileTest, SavingTheCutTextBackKeepsTheLongLineWhole) {
    std::string line = "21";
    line.append(kMaxDisorderTextBytes + 1000, 'x');
    const std::string content = line + "\r\nsecond line\r\n";
    writeBytes(file_, content);
    const std::string loaded = loadInto(state_, file_);
    ASSERT_EQ(loaded.size(), kMaxDisorderTextBytes);

    EXPECT_TRUE(saveSettings(loaded, file_));
    EXPECT_EQ(readBytes(file_), content);
    EXPECT_EQ(loadSettings(file_), loaded);
    EXPECT_EQ(entries(), std::set<std::string>{"chaos.txt"});

    // Any other text of that length replaces the line, as does a shorter one.
    std::string changed = loaded;
    changed[0] = '3';
    EXPECT_TRUE(saveSettings(changed, file_));
    EXPECT_EQ(readBytes(file_), changed + "\r\n");
    writeBytes(file_, content);
    EXPECT_TRUE(saveSettings("21", file_));
    EXPECT_EQ(readBytes(file_), "21\r\n");
}

TEST_F(SettingsFileTest, LoadFollowsALinkToARegularFile) {
    writeBytes(directory_ / "real.txt", "25\r\n");
    fs::create_symlink("real.txt", file_);
    EXPECT_EQ(loadInto(state_, file_), "25");
    EXPECT_EQ(bitsOf(state_), 0x3F800000u);
}

TEST_F(SettingsFileTest, PathThatIsNoRegularFileGivesTheDefaults) {
    fs::create_directory(directory_ / "folder");
    fs::create_symlink("nowhere.txt", directory_ / "dangling");
    ASSERT_EQ(::mkfifo((directory_ / "pipe").c_str(), 0666), 0);
    fs::create_symlink("pipe", directory_ / "link-to-pipe");
    for (const char* name : {"folder", "dangling", "pipe", "link-to-pipe"}) {
        // In a child, so a load that waits for a writer on the pipe is killed rather than hangs.
        const int result = exitCodeInChild([&] {
            engine::SynthState state;
            state.s.store(kUntouchedS);
            const bool defaults =
                loadInto(state, directory_ / name) == "10" && bitsOf(state) == kDefaultSBits;
            return defaults ? 0 : 1;
        });
        EXPECT_EQ(result, 0) << name;
    }
}

TEST_F(SettingsFileTest, UnreadableFileGivesTheDefaults) {
    writeBytes(file_, "25\r\n");
    fs::permissions(file_, fs::perms::owner_write);
    fs::permissions(directory_, fs::perms::others_exec, fs::perm_options::add);
    const int result = exitCodeInChild([&] {
        if (::geteuid() == 0 && !testsupport::becomeNobody()) {
            return 2;
        }
        engine::SynthState state;
        state.s.store(kUntouchedS);
        return loadInto(state, file_) == "10" && bitsOf(state) == kDefaultSBits ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(SettingsFileTest, SaveWritesTheTextThenCrLfAndNothingElse) {
    EXPECT_TRUE(saveSettings("9", file_));
    EXPECT_EQ(readBytes(file_), "9\r\n");
    // A shorter text replaces a longer file completely.
    writeBytes(file_, "123456789\r\nmore\r\n");
    EXPECT_TRUE(saveSettings("", file_));
    EXPECT_EQ(readBytes(file_), "\r\n");
    EXPECT_EQ(entries(), std::set<std::string>{"chaos.txt"});
}

TEST_F(SettingsFileTest, EveryByteValueSurvivesASaveAndLoad) {
    std::string text;
    for (int round = 0; round < 2; ++round) {
        for (int byte = 1; byte < 256; ++byte) {
            if (byte != '\r' && byte != '\n') {
                text += static_cast<char>(byte);
            }
        }
    }
    ASSERT_TRUE(saveSettings(text, file_));
    EXPECT_EQ(readBytes(file_), text + "\r\n");
    EXPECT_EQ(loadInto(state_, file_), text);
}

TEST_F(SettingsFileTest, NewFileGetsTheUsualPermissionsAndAReplacementKeepsTheOldOnes) {
    const mode_t previousMask = ::umask(022);
    const bool saved = saveSettings("10", file_);
    ::umask(previousMask);
    ASSERT_TRUE(saved);
    EXPECT_EQ(fs::status(file_).permissions(), static_cast<fs::perms>(0644));

    fs::permissions(file_, static_cast<fs::perms>(0620));
    ASSERT_TRUE(saveSettings("11", file_));
    EXPECT_EQ(fs::status(file_).permissions(), static_cast<fs::perms>(0620));
    EXPECT_EQ(readBytes(file_), "11\r\n");
}

TEST_F(SettingsFileTest, ReadOnlyFileStaysUnchanged) {
    writeBytes(file_, "42\r\n");
    fs::permissions(file_, static_cast<fs::perms>(0444));
    EXPECT_FALSE(saveSettings("7", file_));
    EXPECT_EQ(readBytes(file_), "42\r\n");
    EXPECT_EQ(fs::status(file_).permissions(), static_cast<fs::perms>(0444));
    EXPECT_EQ(entries(), std::set<std::string>{"chaos.txt"});
}

TEST_F(SettingsFileTest, SaveLeavesNonRegularFilesAlone) {
    fs::create_directory(file_);
    EXPECT_FALSE(saveSettings("7", file_));
    EXPECT_TRUE(fs::is_directory(file_));
    EXPECT_TRUE(fs::is_empty(file_));

    const fs::path pipe = directory_ / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    EXPECT_EQ(exitCodeInChild([&] { return saveSettings("7", pipe) ? 1 : 0; }), 0);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
    EXPECT_EQ(entries(), (std::set<std::string>{"chaos.txt", "pipe"}));
}

TEST_F(SettingsFileTest, SaveIntoAMissingDirectoryFailsQuietly) {
    EXPECT_FALSE(saveSettings("7", directory_ / "missing" / kSettingsFileName));
    EXPECT_FALSE(fs::exists(directory_ / "missing"));
}

TEST_F(SettingsFileTest, SaveThroughALinkUpdatesItsTargetAndKeepsTheLink) {
    fs::create_directory(directory_ / "store");
    writeBytes(directory_ / "store" / "real.txt", "1\r\n");
    fs::create_symlink("store/real.txt", file_);
    ASSERT_TRUE(saveSettings("33", file_));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(fs::read_symlink(file_), "store/real.txt");
    EXPECT_EQ(readBytes(directory_ / "store" / "real.txt"), "33\r\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"chaos.txt", "store"}));
    EXPECT_EQ(fs::directory_iterator(directory_ / "store")->path().filename(), "real.txt");
}

TEST_F(SettingsFileTest, SaveThatCannotCompleteKeepsThePreviousFile) {
    writeBytes(file_, "12\r\n");
    const std::string text(4096, '7');
    // A file-size limit makes the write stop part-way, as a full disk would.
    const int result = exitCodeInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 2;
        }
        return saveSettings(text, file_) ? 1 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(file_), "12\r\n");
    EXPECT_EQ(entries(), std::set<std::string>{"chaos.txt"});
}

TEST_F(SettingsFileTest, FileInAFolderWeCannotWriteIsOverwrittenInPlace) {
    writeBytes(file_, "12\r\n");
    fs::permissions(file_, static_cast<fs::perms>(0666));
    fs::permissions(directory_, static_cast<fs::perms>(0755));
    const int result = exitCodeInChild([&] {
        // Root writes anywhere, so root becomes nobody, for whom the folder is someone else's;
        // anyone else makes their own folder read-only.
        const bool unwritable =
            ::geteuid() == 0 ? testsupport::becomeNobody() : ::chmod(directory_.c_str(), 0555) == 0;
        if (!unwritable) {
            return 2;
        }
        test::FileSyncLog log;
        const bool updated = saveSettings("8", file_);
        // Written in place, the content is only safe once it is on the disk.
        const bool synced =
            log.events() == std::vector<std::string>{"fsync " + fs::canonical(file_).string()};
        const bool created = saveSettings("8", directory_ / "new.txt");
        return updated && synced && !created ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(file_), "8\r\n");
    EXPECT_EQ(entries(), std::set<std::string>{"chaos.txt"});
}

TEST_F(SettingsFileTest, NewContentReachesTheDiskBeforeItsNameAndTheNameAfterwards) {
    writeBytes(file_, "12\r\n");
    std::vector<std::string> events;
    {
        test::FileSyncLog log;
        ASSERT_TRUE(saveSettings("8", file_));
        events = log.events();
    }
    ASSERT_EQ(events.size(), 3u) << ::testing::PrintToString(events);
    const std::string renamePrefix = "rename ";
    // Appended, not " " + path: GCC 12 at -O3 warns falsely (-Wrestrict) about that operator+.
    const std::string renameSuffix = std::string(" ").append(file_.string());
    ASSERT_TRUE(events[1].starts_with(renamePrefix) && events[1].ends_with(renameSuffix))
        << events[1];
    const fs::path temporary(events[1].substr(
        renamePrefix.size(), events[1].size() - renamePrefix.size() - renameSuffix.size()));
    EXPECT_EQ(temporary.parent_path(), directory_);
    const fs::path folder = fs::canonical(directory_);
    EXPECT_EQ(events[0], "fsync " + (folder / temporary.filename()).string());
    EXPECT_EQ(events[2], "fsync " + folder.string());
    EXPECT_EQ(readBytes(file_), "8\r\n");
}

TEST_F(SettingsFileTest, AUserWhoCannotWriteTheProgramsFolderKeepsTheFileInTheirConfigFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to run as nobody in a child process";
    }
    // The test program's folder belongs to root, as an installed program's does. The user's
    // configuration folder does not exist yet, nor does the folder above it.
    fs::permissions(directory_, static_cast<fs::perms>(0777));
    const fs::path config = directory_ / "home" / "config";
    const int result = exitCodeInChild([&] {
        testsupport::ScopedEnvironmentVariable home("XDG_CONFIG_HOME", config.string());
        if (!testsupport::becomeNobody()) {
            return 2;
        }
        engine::SynthState state;
        return saveSettings("7") && loadInto(state) == "7" ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(config / "vireon" / "chaos.txt"), "7\r\n");
    for (const fs::path& folder : {config.parent_path(), config, config / "vireon"}) {
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    }
}

TEST_F(SettingsFileTest, DefaultLocationIsBesideTheProgram) {
    const fs::path besideProgram = fs::read_symlink("/proc/self/exe").parent_path() / "chaos.txt";
    ASSERT_FALSE(fs::exists(besideProgram)) << "a settings file is already beside the program";
    ASSERT_TRUE(saveSettings("5"));
    EXPECT_EQ(readBytes(besideProgram), "5\r\n");
    EXPECT_EQ(loadInto(state_), "5");
    EXPECT_EQ(bitsOf(state_), 0x3E4CCCCDu);
    fs::remove(besideProgram);
}

}  // namespace
}  // namespace vireon::settings
