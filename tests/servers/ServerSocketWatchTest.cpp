// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the socket watch may be trusted to see every server come back: a lost output is not
// tried again before it sees one, so a server it cannot see would never bring the sound back.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "devices/servers/ServerSocketWatch.h"
#include "tests/support/Environment.h"

namespace vireon::servers {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnvironmentVariable;

// Makes a listening-style socket file at `path`, as a server does.
void makeSocket(const fs::path& path) {
    const int handle = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(handle, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(handle);
}

TEST(ServerSocketWatch, CoversEveryServerOnlyWhereNoneCanHideAndSeesItsSocket) {
    if (!fs::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no /dev/shm, where JACK servers appear";
    }
    const fs::path runtime = testsupport::makeTemporaryFolder("vireon-watch");
    struct Case {
        const char* what;
        std::optional<std::string> runtimeFolder;
        std::optional<std::string> pipewireRemote;
        std::optional<std::string> pulseServer;
        bool covers;
    };
    const Case cases[] = {
        {"a desktop session's runtime folder", runtime.string(), std::nullopt, std::nullopt, true},
        {"PipeWire named by its own socket name", runtime.string(), "pipewire-1", std::nullopt,
         true},
        {"no runtime folder: PipeWire's socket could be anywhere", std::nullopt, std::nullopt,
         std::nullopt, false},
        {"a runtime folder that does not exist", (runtime / "gone").string(), std::nullopt,
         std::nullopt, false},
        {"PipeWire named by a path", runtime.string(), "/elsewhere/pipewire-0", std::nullopt,
         false},
        {"PulseAudio named by address", runtime.string(), std::nullopt, "tcp:host", false},
    };
    for (const Case& test : cases) {
        const ScopedEnvironmentVariable xdg("XDG_RUNTIME_DIR", test.runtimeFolder);
        const ScopedEnvironmentVariable pipewireFolder("PIPEWIRE_RUNTIME_DIR", std::nullopt);
        const ScopedEnvironmentVariable remote("PIPEWIRE_REMOTE", test.pipewireRemote);
        const ScopedEnvironmentVariable pulse("PULSE_SERVER", test.pulseServer);
        ServerSocketWatch watch;
        EXPECT_EQ(watch.coversEveryServer(), test.covers) << test.what;
    }

    const ScopedEnvironmentVariable xdg("XDG_RUNTIME_DIR", runtime.string());
    const ScopedEnvironmentVariable remote("PIPEWIRE_REMOTE", std::nullopt);
    ServerSocketWatch watch;
    // Other programs' servers may appear meanwhile, so only the sign itself is certain.
    makeSocket(runtime / "pipewire-0");
    EXPECT_TRUE(watch.takeSignOfLife());
    fs::remove_all(runtime);
}

}  // namespace
}  // namespace vireon::servers
