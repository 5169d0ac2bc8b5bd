// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Environment.h"

namespace vireon::testsupport {

/// A process killed while it was the first to open JACK's metadata database
/// (/dev/shm/jack_db-UID) can leave one of its region files empty; from then on every JACK
/// client, with or without a server, dies of SIGBUS inside libdb as it opens. JACK removes the
/// folder itself when its last server stops cleanly, so while no jackd runs a broken one holds
/// nothing of value and is removed here. Called before every test's JACK environment is made.
void repairJackMetadataDatabase();

/// A server name no other test process uses: the process id and a per-process counter, so test
/// programs running side by side, and forked children, never meet on one server.
std::string uniqueJackServerName();

/// Whether a client called `clientName` is connected to the JACK server `serverName` now.
bool jackClientExists(const std::string& serverName, const std::string& clientName);

/// Points every JACK client of this process at the server `serverName` and forbids clients to
/// start a server of their own, for the object's lifetime. With a name no server uses, this
/// makes a machine without any JACK server, whatever servers actually run on it.
///
/// ALSA's default output device becomes that server too, through a test configuration that
/// replaces the machine's: where PipeWire's ALSA plugin is installed it is ALSA's default for
/// the whole machine, and the audio library's default device would be PipeWire's instead. A
/// PipeWire that runs on the machine is out of reach as well (PIPEWIRE_REMOTE names none), even
/// where PipeWire's libjack stands in for JACK's.
class JackClientEnvironment {
  public:
    explicit JackClientEnvironment(const std::string& serverName);

    /// The same settings as "NAME=value" entries, for the environment of child programs.
    static std::vector<std::string> variablesFor(const std::string& serverName);

  private:
    ScopedEnvironmentVariable defaultServer_;
    ScopedEnvironmentVariable noStartServer_;
    ScopedEnvironmentVariable alsaConfiguration_;
    ScopedEnvironmentVariable pipeWireRemote_;
};

/// Settings of a JACK server with the dummy driver. A period of 256 is what makes ALSA's `jack`
/// device the default output on this platform; with 64 or 128 its probe fails.
struct JackServerOptions {
    /// Empty for a fresh unique name.
    std::string name;
    std::uint32_t sampleRate = 8000;
    std::uint32_t period = 256;
    std::chrono::milliseconds startTimeout{5000};
};

/// A private JACK server with the dummy driver, running as a child process for the object's
/// lifetime. While it lives, this process's JACK clients (PortAudio's included) use it and no
/// other. Its output goes to a log file in a temporary folder.
///
/// The server is asked to end (SIGTERM) when the thread that created it dies, even by SIGKILL, so
/// a test killed by a timeout does not leave it running: create it on the test's main thread.
///
/// JACK keeps a machine-wide registry of running servers with room for only 8, and a server
/// that dies without stopping keeps its entry until a server of the same name starts again.
/// Unique names would fill the registry for good, so stop() (and the destructor) start a server
/// that did not end cleanly once more under its name and stop it politely.
class JackServer {
  public:
    /// The jackd program on the PATH, if there is one.
    static std::optional<std::filesystem::path> findJackd();

    /// Starts the server and waits until a client can connect to it. Throws std::runtime_error,
    /// with the server's log, when it does not come up within the start timeout.
    explicit JackServer(JackServerOptions options = {});

    /// Stops the server (see stop) and removes its temporary folder.
    ~JackServer();

    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    const std::string& name() const { return name_; }

    /// "NAME=value" entries that make a child program use this server.
    std::vector<std::string> clientEnvironment() const;

    /// The server's process id, for tests that signal it from a child process.
    pid_t pid() const { return pid_; }

    /// Ends the server politely (SIGTERM, resuming it if suspended), and by force when it has
    /// not ended after 5 s; then frees its registry entry if it did not end cleanly, whoever
    /// ended it. Does nothing when all that is done.
    void stop();

    /// Kills the server at once (SIGKILL), as a crash would, and reaps it. Its clients are not
    /// told. stop() (or the destructor) frees its registry entry later.
    void kill();

    /// Starts the server again under its name after kill() or stop(), as a user restarts a
    /// crashed server, and waits until it accepts clients. A server that was killed leaves
    /// its registry entry to the new one. Throws like the constructor.
    void restart();

    /// The server's output so far.
    std::string log() const;

  private:
    void start();
    void waitUntilReady();
    bool reapWithin(std::chrono::milliseconds timeout);
    void terminate();
    void removeLeftoverSemaphores() const;

    JackServerOptions options_;
    std::string name_;
    JackClientEnvironment environment_;
    std::filesystem::path directory_;
    pid_t pid_ = -1;
    bool endedCleanly_ = true;
};

}  // namespace vireon::testsupport
