// SPDX-License-Identifier: GPL-3.0-or-later
// The file that remembers the MIDI controllers: start-up never fails on it.

#include "settings/ControllerFile.h"

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/Environment.h"

namespace vireon::settings {
namespace {

namespace fs = std::filesystem;
using controls::ControlId;

class ControllerFileTest : public ::testing::Test {
  protected:
    ~ControllerFileTest() override { fs::remove_all(folder_); }

    void write(std::string_view bytes) {
        std::ofstream(file_, std::ios::binary).write(bytes.data(), std::ssize(bytes));
    }

    fs::path folder_ = testsupport::makeTemporaryFolder("vireon-controllers");
    fs::path file_ = controllersFileBeside(folder_ / "chaos.txt");
};

TEST_F(ControllerFileTest, LoadsWhatItSavesAndRefusesToSaveOverAReadOnlyFile) {
    instrument::ControllerMap map;
    map.bind(ControlId::Disorder, 1);
    map.bind(ControlId::Attack, 74);
    const fs::path newFile = controllersFileBeside(folder_ / "new" / "chaos.txt");
    ASSERT_TRUE(saveControllers(map, newFile));
    EXPECT_EQ(loadControllers(newFile), map);

    write("havoc 21\n");
    fs::permissions(file_, fs::perms::owner_read);
    EXPECT_FALSE(saveControllers(map, file_));
    EXPECT_EQ(loadControllers(file_).controllerFor(ControlId::Havoc), 21);
}

TEST_F(ControllerFileTest, AnythingButAGoodFileGivesWhatItCanAndNeverFails) {
    EXPECT_TRUE(loadControllers(file_).empty());  // missing
    write("havoc 21\nbedlam x\n\xff\xfe\0\n");
    EXPECT_EQ(loadControllers(file_).controllerFor(ControlId::Havoc), 21);
    // Only whole lines within the limit count: the cut "bedlam 1" of "bedlam 12" is no binding.
    std::string big(kMaxControllersFileBytes - 12, '#');
    write("havoc 3\n" + big + "\nbedlam 12\n");
    EXPECT_EQ(loadControllers(file_).controllerFor(ControlId::Havoc), 3);
    EXPECT_EQ(loadControllers(file_).controllerFor(ControlId::Bedlam), std::nullopt);
    EXPECT_TRUE(loadControllers(folder_).empty());  // a folder
}

}  // namespace
}  // namespace vireon::settings
