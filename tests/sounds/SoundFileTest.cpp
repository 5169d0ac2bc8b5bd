// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files on disk: a save reads back, a refused file or save changes nothing.

#include "sounds/SoundFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vireon::sounds {
namespace {

namespace fs = std::filesystem;

const Sound kDrone{"Low Drone", "Slow and dark.", {40, 60, 1500, 1000, 100, 3000, 7}};

class SoundFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("vireon-sound-test-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
        return folder_ / name;
    }
    static std::string read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    fs::path folder_;
};

TEST_F(SoundFileTest, SavedSoundReadsBackAndReplacesTheOldFileWhole) {
    const fs::path file = folder_ / "drone.vireon-sound";
    ASSERT_EQ(saveSoundFile(file, kDrone), "");
    EXPECT_EQ(std::get<Sound>(readSoundFile(file)), kDrone);
    Sound changed = kDrone;
    changed.positions[0] = 99;
    ASSERT_EQ(saveSoundFile(file, changed), "");
    EXPECT_EQ(std::get<Sound>(readSoundFile(file)), changed);
    // Nothing but the file itself: no temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(SoundFileTest, RefusedFilesAndSavesChangeNothing) {
    const std::string whole = formatSound(kDrone);
    struct Case {
        fs::path path;
        std::string reason;
    };
    const Case unreadable[] = {
        {folder_ / "missing", "there is no such file"},
        {folder_, "it is not a regular file"},
        {write("huge", std::string(kMaxSoundFileBytes + 1, '#')), "it is larger than 65536 bytes"},
        // Cut inside a value: "decay = 10" is a whole number, but no "end" follows.
        {write("cut", whole.substr(0, whole.find("00\nsustain"))), "it ends before"},
    };
    for (const Case& c : unreadable) {
        const ParsedSound read = readSoundFile(c.path);
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << c.reason;
        EXPECT_NE(std::get<std::string>(read).find(c.reason), std::string::npos)
            << std::get<std::string>(read);
    }

    const fs::path readOnly = write("read-only", "mine");
    fs::permissions(readOnly, fs::perms::owner_read);
    Sound invalid = kDrone;
    invalid.positions[4] = 101;
    const Case unsaved[] = {
        {readOnly, "it is read-only or not a regular file"},
        {folder_ / "missing-folder" / "x", "writing it failed"},
    };
    for (const Case& c : unsaved) {
        EXPECT_EQ(saveSoundFile(c.path, kDrone).rfind(c.reason, 0), 0u) << c.reason;
    }
    const fs::path existing = write("existing", whole);
    EXPECT_EQ(saveSoundFile(existing, invalid), "sustain is 101, outside its range of 0 to 100");
    EXPECT_EQ(read(existing), whole);
    EXPECT_EQ(read(readOnly), "mine");
    if (::geteuid() != 0) {
        // A folder that lets nobody create files: the old file stays as it was.
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(saveSoundFile(existing, kDrone), "its folder does not let you create files");
        EXPECT_EQ(read(existing), whole);
    }
}

TEST(SoundFolder, FollowsXdgDataHomeOrElseHome) {
    EXPECT_EQ(userSoundsFolderFor("/data", "/home/a"), fs::path("/data/vireon/sounds"));
    EXPECT_EQ(userSoundsFolderFor("relative", "/home/a"),
              fs::path("/home/a/.local/share/vireon/sounds"));
    EXPECT_EQ(userSoundsFolderFor("", ""), fs::path());
}

}  // namespace
}  // namespace vireon::sounds
