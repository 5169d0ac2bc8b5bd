// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file on Windows: where it lies, and that its bytes are exactly the text and CR LF.
// Runs under wine in CI.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ChaosOscillator.h"
#include "engine/SynthState.h"
#include "settings/NumberParser.h"
#include "settings/SettingsDirectory.h"
#include "settings/SettingsFile.h"

namespace vireon::settings {
namespace {

namespace fs = std::filesystem;

// What the program does at start-up: the text from the file, Disorder from its leading number.
std::string loadInto(engine::SynthState& state, const fs::path& file) {
    std::string text = loadSettings(file);
    engine::setDisorder(state, parseNumber(text));
    return text;
}

// Asks a copy of this program to save the settings and end, instead of running the tests.
constexpr std::string_view kSaveArgument = "--save-settings";
constexpr std::string_view kChildText = "saved by the copy";

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path thisProgram() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), 32768);
    buffer.resize(length);
    return fs::path(buffer);
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        entries.push_back(entry.path().filename());
    }
    return entries;
}

/// A fresh folder below the temporary directory, removed with the test. Its name is long, so
/// that it also has a distinct 8.3 short form, and holds letters outside any ANSI code page.
class WindowsSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (L"vireon settings \u00fc\u97f3 " + std::to_wstring(::GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        file_ = folder_ / kSettingsFileName;
    }
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(folder_);
    }

    fs::path folder_;
    fs::path file_;
    engine::SynthState state_;
};

TEST_F(WindowsSettingsTest, SavesExactlyTheTextAndCrLfAndReplacesTheLastSave) {
    ASSERT_TRUE(saveSettings("25", file_));
    EXPECT_EQ(readBytes(file_), "25\r\n");
    EXPECT_EQ(loadInto(state_, file_), "25");
    EXPECT_EQ(state_.s.load(), 1.0f);

    // A second save replaces the first whole, and leaves no temporary file behind.
    ASSERT_TRUE(saveSettings("7", file_));
    EXPECT_EQ(readBytes(file_), "7\r\n");
    EXPECT_EQ(entriesOf(folder_), std::vector<fs::path>{fs::path(kSettingsFileName)});

    ASSERT_TRUE(saveSettings("", file_));
    EXPECT_EQ(readBytes(file_), "\r\n");
}

TEST_F(WindowsSettingsTest, BytesPassUnchangedBothWays) {
    // 0x1A ends a file in the C runtime's text mode, and a lone LF would gain a CR there.
    writeBytes(file_, std::string_view("12\x1A\xFF x\nmore", 11));
    EXPECT_EQ(loadInto(state_, file_), std::string_view("12\x1A\xFF x", 6));
    EXPECT_EQ(state_.s.load(), 12 / 25.0f);

    const std::string_view text("\x1A$1F\x80", 5);
    ASSERT_TRUE(saveSettings(text, file_));
    EXPECT_EQ(readBytes(file_), std::string(text) + "\r\n");
    EXPECT_EQ(loadInto(state_, file_), text);
    EXPECT_EQ(state_.s.load(), 0.0f);
}

TEST_F(WindowsSettingsTest, LeavesReadOnlyFilesAndFoldersAlone) {
    writeBytes(file_, "33\r\n");
    ASSERT_TRUE(::SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(saveSettings("9", file_));
    EXPECT_EQ(readBytes(file_), "33\r\n");
    EXPECT_EQ(entriesOf(folder_), std::vector<fs::path>{fs::path(kSettingsFileName)});
    // Still readable.
    EXPECT_EQ(loadInto(state_, file_), "33");

    ASSERT_TRUE(::SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL));
    fs::remove(file_);
    fs::create_directory(file_);
    EXPECT_FALSE(saveSettings("9", file_));
    EXPECT_TRUE(fs::is_directory(file_));
    state_.s.store(123.0f);
    EXPECT_EQ(loadInto(state_, file_), "10");
    EXPECT_EQ(std::bit_cast<std::uint32_t>(state_.s.load()), 0x3ECCCCCDu);
}

TEST_F(WindowsSettingsTest, SettingsCanBeKeptWhereFilesCanBeMade) {
    const std::string folder = utf8(folder_) + "\\";
    EXPECT_TRUE(canKeepSettingsIn(folder));
    // Finding out leaves nothing behind.
    EXPECT_TRUE(entriesOf(folder_).empty());
    EXPECT_FALSE(canKeepSettingsIn(folder + "missing\\"));
}

TEST(WindowsSettingsDirectory, IsTheProgramsFolder) {
    std::string expected = utf8(thisProgram().parent_path());
    expected += '\\';
    EXPECT_EQ(settingsDirectory(), expected);
}

/// Copies this program into a folder, names that folder the temporary directory (TMP and TEMP,
/// in the form given), and runs the copy there from `current` so that it saves its settings.
void saveFromCopyInTemporaryDirectory(const fs::path& folder, const std::wstring& temporaryForm,
                                      const fs::path& current) {
    const fs::path copy = folder / L"vireon-copy.exe";
    ASSERT_TRUE(::CopyFileW(thisProgram().c_str(), copy.c_str(), FALSE));

    std::wstring command = L"\"" + copy.wstring() + L"\" ";
    command += std::wstring(kSaveArgument.begin(), kSaveArgument.end());
    // The child inherits the environment; the variables go back afterwards.
    std::wstring savedTmp(32768, L'\0');
    std::wstring savedTemp(32768, L'\0');
    savedTmp.resize(::GetEnvironmentVariableW(L"TMP", savedTmp.data(), 32768));
    savedTemp.resize(::GetEnvironmentVariableW(L"TEMP", savedTemp.data(), 32768));
    ::SetEnvironmentVariableW(L"TMP", temporaryForm.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temporaryForm.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, current.c_str(), &startup, &process);
    ::SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", savedTemp.empty() ? nullptr : savedTemp.c_str());
    ASSERT_TRUE(started);
    const DWORD waited = ::WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(WindowsSettingsTest, ProgramInTheTemporaryDirectorySavesInTheCurrentDirectory) {
    const fs::path program = folder_ / L"downloads";
    const fs::path current = folder_ / L"music \u00e9";
    fs::create_directories(program);
    fs::create_directories(current);

    saveFromCopyInTemporaryDirectory(program, program.wstring() + L"\\", current);
    EXPECT_EQ(readBytes(current / kSettingsFileName), std::string(kChildText) + "\r\n");
    EXPECT_FALSE(fs::exists(program / kSettingsFileName));

    // The comparison is byte for byte: the same folder named in other letter case counts as
    // another one, and the file stays beside the program.
    fs::remove(current / kSettingsFileName);
    std::wstring otherCase = program.wstring();
    ::CharUpperBuffW(otherCase.data(), static_cast<DWORD>(otherCase.size()));
    ASSERT_NE(otherCase, program.wstring());
    saveFromCopyInTemporaryDirectory(program, otherCase + L"\\", current);
    EXPECT_TRUE(fs::exists(program / kSettingsFileName));
    EXPECT_FALSE(fs::exists(current / kSettingsFileName));
}

TEST_F(WindowsSettingsTest, TemporaryDirectoryInShortFormStillMatches) {
    const fs::path program = folder_ / L"unpacked download";
    const fs::path current = folder_ / L"work";
    fs::create_directories(program);
    fs::create_directories(current);
    std::wstring shortForm(32768, L'\0');
    shortForm.resize(::GetShortPathNameW(program.c_str(), shortForm.data(), 32768));
    ASSERT_FALSE(shortForm.empty());
    // Without a real short form this would only repeat the test above.
    ASSERT_NE(shortForm, program.wstring());

    saveFromCopyInTemporaryDirectory(program, shortForm + L"\\", current);
    EXPECT_EQ(readBytes(current / kSettingsFileName), std::string(kChildText) + "\r\n");
    EXPECT_FALSE(fs::exists(program / kSettingsFileName));
}

}  // namespace
}  // namespace vireon::settings

// This program's own entry point, which GoogleTest's prepared one gives way to: a copy of it
// started with kSaveArgument plays the program that saves its settings.
int main(int argc, char** argv) {
    if (argc == 2 && vireon::settings::kSaveArgument == argv[1]) {
        return vireon::settings::saveSettings(vireon::settings::kChildText) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
