// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "RunningProgram.h"
#include "tests/support/JackServer.h"
#include "tests/support/Waiting.h"

namespace vireon::ui::test {

using namespace std::chrono_literals;

/// Runs a copy of the vireon program (the settings file lives beside it) on a private X server,
/// with the JACK server a test gives it, and works its windows with xdotool.
class VireonProgram : public ::testing::Test {
  protected:
    VireonProgram() {
        // The settings file lives beside the program, so each test runs its own copy.
        std::filesystem::copy_file(VIREON_PROGRAM, program());
        std::filesystem::create_directory(runtimeFolder());
        std::filesystem::permissions(runtimeFolder(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }

    std::filesystem::path program() const { return folder.path() / "vireon"; }
    std::filesystem::path settingsFile() const { return folder.path() / "chaos.txt"; }
    std::filesystem::path runtimeFolder() const { return folder.path() / "runtime"; }
    std::filesystem::path statusTraceFile() const { return folder.path() / "status-trace.txt"; }

    /// Every status text the program has shown so far, one "<field>\t<text>" line each.
    std::string statusTrace() const { return readFile(statusTraceFile()); }

    /// Waits until the status trace holds `line` at or after byte `from` of the trace.
    bool waitForStatus(const std::string& line, std::chrono::milliseconds timeout,
                       std::size_t from = 0) const {
        return testsupport::waitUntil(
            [&] { return statusTrace().find(line + "\n", from) != std::string::npos; }, timeout);
    }

    /// Clicks at a point of the window's client area (below the menu bar's top).
    bool clickAt(const std::string& window, int x, int y) {
        return runCommand({"/usr/bin/xdotool", "mousemove", "--window", window, std::to_string(x),
                           std::to_string(y), "click", "1"},
                          {display.environmentEntry()}, 5s)
            .has_value();
    }

    /// The program's environment: `serverEnvironment` names the audio and MIDI servers.
    std::vector<std::string> environmentFor(std::vector<std::string> serverEnvironment) const {
        serverEnvironment.push_back(display.environmentEntry());
        serverEnvironment.push_back("XDG_RUNTIME_DIR=" + runtimeFolder().string());
        serverEnvironment.push_back("VIREON_STATUS_TRACE=" + statusTraceFile().string());
        return serverEnvironment;
    }

    std::vector<std::string> environmentFor(const testsupport::JackServer& server) const {
        return environmentFor(server.clientEnvironment());
    }

    std::unique_ptr<RunningProgram> start(const std::vector<std::string>& serverEnvironment) {
        return std::make_unique<RunningProgram>(std::vector<std::string>{program().string()},
                                                environmentFor(serverEnvironment), folder.path(),
                                                std::vector<std::string>{"QT_QPA_PLATFORM"});
    }

    std::unique_ptr<RunningProgram> start(const testsupport::JackServer& server) {
        return start(server.clientEnvironment());
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
        std::filesystem::create_directories(VIREON_SCREENSHOT_DIR);
        runCommand({"/usr/bin/import", "-window", window,
                    (std::filesystem::path(VIREON_SCREENSHOT_DIR) / name).string()},
                   {display.environmentEntry()}, 10s);
    }

    // On a JACK server the program is one client, "Vireon", its MIDI input beside its sound.
    std::string outputPattern(const RunningProgram& /*running*/) const { return "^Vireon:out_0$"; }

    TemporaryFolder folder;
    VirtualDisplay display;
};

}  // namespace vireon::ui::test
