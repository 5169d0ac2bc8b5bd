// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user runs it: a real X server (Xvfb), a real JACK server with the dummy
// driver, the vireon binary started as a process, keys sent through the X server.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "RunningProgram.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"

namespace vireon::ui::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::JackRecorder;
using testsupport::JackServer;

TEST_F(VireonProgram, PlaysToTheServerAndQuitsWithEscapeSavingTheSettings) {
    JackServer server;
    const auto started = std::chrono::steady_clock::now();
    auto vireon = start(server);
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);
    ASSERT_TRUE(recorder.waitForSamples(256, 5s));
    const auto firstAudio = std::chrono::steady_clock::now() - started;
    RecordProperty(
        "startup_to_audio_ms",
        std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(firstAudio).count()));

    const std::string window = findWindow("Vireon");
    ASSERT_FALSE(window.empty()) << vireon->errorOutput();
    screenshot(window, "main-window-xvfb.png");
    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

TEST_F(VireonProgram, FatalAudioErrorShowsItsBoxAndLeavesTheSettingsAlone) {
    writeFile(settingsFile(), "7\r\n");
    // No audio server answers: the stream cannot open on any device.
    std::vector<std::string> environment =
        testsupport::JackClientEnvironment::variablesFor(testsupport::uniqueJackServerName());
    environment.push_back(display.environmentEntry());
    environment.push_back("XDG_RUNTIME_DIR=" + runtimeFolder().string());
    auto vireon = std::make_unique<RunningProgram>(std::vector<std::string>{program().string()},
                                                   environment, folder.path(),
                                                   std::vector<std::string>{"QT_QPA_PLATFORM"});
    const std::string box = findWindow("PortAudio");
    ASSERT_FALSE(box.empty()) << vireon->errorOutput();
    screenshot(box, "fatal-error-box-xvfb.png");
    ASSERT_TRUE(pressKey(box, "Return"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();
    EXPECT_EQ(readFile(settingsFile()), "7\r\n");
}

TEST_F(VireonProgram, QuitsPromptlyAfterTheAudioServerVanished) {
    JackServer server;
    auto vireon = start(server);
    {
        JackRecorder recorder(server.name());
        recorder.connect(outputPattern(*vireon), 10s);
        ASSERT_TRUE(recorder.waitForSamples(256, 5s));
    }
    const std::string window = findWindow("Vireon");
    ASSERT_FALSE(window.empty());
    server.kill();
    // The window still answers after the server is gone.
    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(8s), 0) << vireon->errorOutput();
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

TEST_F(VireonProgram, WithoutADisplayItSaysSoAndExits) {
    JackServer server;
    RunningProgram vireon({program().string()}, server.clientEnvironment(), folder.path(),
                          {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    EXPECT_EQ(vireon.waitForExit(5s), 1);
    const std::string error = vireon.errorOutput();
    EXPECT_NE(error.find("display"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
    EXPECT_FALSE(fs::exists(settingsFile()));
}

// Without a display the program answers what anyone may ask a program, refuses a latency it
// does not know, and says plainly that it needs a display for anything else.
TEST(VireonWithoutDisplay, AnswersHelpAndVersionChecksTheLatencyAndExplainsTheRest) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string output;  // how standard output, or else standard error, begins
    };
    const Case cases[] = {
        {{"--version"}, 0, "vireon " VIREON_VERSION "\n"},
        {{"--help"}, 0, "Usage: vireon [--latency standard|low] [--help | --version]\n"},
        {{}, 1, "vireon: no graphical display was found"},
        // A latency it knows is taken, and the display is looked for next.
        {{"--latency", "low"}, 1, "vireon: no graphical display was found"},
        {{"--latency=standard"}, 1, "vireon: no graphical display was found"},
        {{"--latency", "sideways"}, 2, "vireon: --latency takes standard or low\n"},
        {{"--latency"}, 2, "vireon: --latency takes standard or low\n"},
    };
    for (const Case& test : cases) {
        std::vector<std::string> arguments = {VIREON_PROGRAM};
        arguments.insert(arguments.end(), test.arguments.begin(), test.arguments.end());
        RunningProgram vireon(arguments, {}, fs::temp_directory_path(),
                              {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        EXPECT_EQ(vireon.waitForExit(10s), test.status) << vireon.errorOutput();
        const std::string output =
            test.status == 0 ? vireon.standardOutput() : vireon.errorOutput();
        EXPECT_TRUE(output.starts_with(test.output)) << output;
    }
}

}  // namespace
}  // namespace vireon::ui::test
