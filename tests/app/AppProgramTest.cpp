// The program as a user runs it: a real X server (Xvfb), a real JACK server with the dummy
// driver, the vireon binary started as a process, keys sent through the X server.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "RunningProgram.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"

namespace vireon::ui::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::JackRecorder;
using testsupport::JackServer;
using testsupport::JackServerOptions;

class VireonProgram : public ::testing::Test {
  protected:
    VireonProgram() {
        // The settings file lives beside the program, so each test runs its own copy.
        fs::copy_file(VIREON_PROGRAM, program());
        fs::create_directory(runtimeFolder());
        fs::permissions(runtimeFolder(), fs::perms::owner_all, fs::perm_options::replace);
    }

    fs::path program() const { return folder.path() / "vireon"; }
    fs::path settingsFile() const { return folder.path() / "chaos.txt"; }
    fs::path runtimeFolder() const { return folder.path() / "runtime"; }

    std::vector<std::string> environmentFor(const JackServer& server) const {
        std::vector<std::string> environment = server.clientEnvironment();
        environment.push_back(display.environmentEntry());
        environment.push_back("XDG_RUNTIME_DIR=" + runtimeFolder().string());
        return environment;
    }

    std::unique_ptr<RunningProgram> start(const JackServer& server) {
        return std::make_unique<RunningProgram>(std::vector<std::string>{program().string()},
                                                environmentFor(server), folder.path(),
                                                std::vector<std::string>{"QT_QPA_PLATFORM"});
    }

    // The X window id of the first window with exactly this title, once it exists.
    std::string findWindow(const std::string& title) {
        const auto found = runCommand(
            {"/usr/bin/xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"},
            {display.environmentEntry()}, 10s);
        if (!found || found->empty()) {
            return {};
        }
        return found->substr(0, found->find('\n'));
    }

    bool pressKey(const std::string& window, const std::string& key) {
        // Without a window manager the window must be given the focus before it gets keys.
        // The key goes to the focused window: sent to the window itself, the key's release
        // would fail once the press has closed it.
        return runCommand({"/usr/bin/xdotool", "windowfocus", "--sync", window},
                          {display.environmentEntry()}, 5s) &&
               runCommand({"/usr/bin/xdotool", "key", key}, {display.environmentEntry()}, 5s);
    }

    void screenshot(const std::string& window, const std::string& name) {
        fs::create_directories(VIREON_SCREENSHOT_DIR);
        runCommand({"/usr/bin/import", "-window", window,
                    (fs::path(VIREON_SCREENSHOT_DIR) / name).string()},
                   {display.environmentEntry()}, 10s);
    }

    std::string outputPattern(const RunningProgram& running) const {
        return "^vireon\\.P\\." + std::to_string(running.pid()) + "\\.[0-9]+:out_000$";
    }

    TemporaryFolder folder;
    VirtualDisplay display;
};

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
    JackServer server(JackServerOptions{.name = {},
                                        .sampleRate = 48000,
                                        .period = 256,
                                        .startTimeout = std::chrono::milliseconds(5000)});
    auto vireon = start(server);
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

}  // namespace
}  // namespace vireon::ui::test
