// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/RunningProgram.h"

namespace vireon::testsupport {

/// A private, headless PipeWire for the object's lifetime: the `pipewire` daemon, WirePlumber as
/// its session manager, and a null sink at 8000 Hz (or the rate given) that WirePlumber makes the
/// default output, with the graph held at that rate. It needs neither systemd nor D-Bus nor a
/// sound card.
///
/// Everything it keeps lives in a temporary folder of its own (runtime folder with the socket,
/// configuration, state), so it never meets a PipeWire of the user's desktop, nor that of
/// another test; clients reach it only through clientEnvironment(). Its daemons end with the
/// thread that created it, even when that is killed: create it on the test's main thread.
class PipeWireServer {
  public:
    /// Whether the programs it runs are installed (Debian packages pipewire, pipewire-bin,
    /// wireplumber).
    static bool installed();

    /// Whether PipeWire's own JACK is installed: its libjack and `pw-jack` (Debian package
    /// pipewire-jack).
    static bool jackInstalled();

    /// `command` as `pw-jack` runs it: with PipeWire's libjack in place of JACK's, so that its
    /// JACK server is the PipeWire that clientEnvironment() names.
    static std::vector<std::string> underPipeWireJack(std::vector<std::string> command);

    /// Starts PipeWire, WirePlumber and the sink, and waits until the sink is the default
    /// output. Throws std::runtime_error, with the daemons' output, when that takes too long.
    explicit PipeWireServer(std::uint32_t rate = 8000);

    /// Stops the daemons and removes the temporary folder.
    ~PipeWireServer();

    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    /// Ends WirePlumber and PipeWire politely (SIGTERM; SIGKILL after 5 s), as a user's
    /// `systemctl --user stop` does. The sink goes with them. Does nothing when they are down.
    void stop();

    /// Starts the daemons and the sink again after stop(), under the same socket, and waits
    /// until the sink is the default output. Throws like the constructor.
    void start();

    /// "NAME=value" entries that make a child program's audio go to this PipeWire: its socket,
    /// and ALSA's default device through PipeWire's ALSA plugin, whatever the machine's ALSA
    /// configuration says. JACK clients are pointed at a server that does not exist.
    std::vector<std::string> clientEnvironment() const;

    /// The node name of the null sink.
    const std::string& sinkName() const { return sinkName_; }

    /// Whatever the daemons have written so far, for failure messages.
    std::string log() const;

  private:
    std::vector<std::string> daemonEnvironment() const;
    std::optional<std::string> runTool(const std::vector<std::string>& arguments) const;
    void waitUntil(const std::string& what, const std::function<bool()>& condition);
    void endDaemon(std::unique_ptr<RunningProgram>& daemon);

    std::filesystem::path folder_;
    std::string sinkName_;
    std::string jackServerName_;
    std::uint32_t rate_;
    std::string earlierLogs_;
    std::unique_ptr<RunningProgram> pipewire_;
    std::unique_ptr<RunningProgram> wireplumber_;
};

/// Records a PipeWire sink's output (its monitor) as float32 at 8000 Hz through `pw-record`,
/// from the moment it is linked. It keeps the left channel, where PipeWire copies a mono stream
/// unchanged; a mono recording would mix both channels and scale the samples. When the server
/// stops, so does the recorder: record again with a new one after a restart. Test thread only.
class PipeWireRecorder {
  public:
    explicit PipeWireRecorder(const PipeWireServer& server);
    ~PipeWireRecorder();

    PipeWireRecorder(const PipeWireRecorder&) = delete;
    PipeWireRecorder& operator=(const PipeWireRecorder&) = delete;

    /// Everything recorded so far.
    std::vector<float> samples() const;

    /// Waits until at least `count` samples have been recorded; false after `timeout`.
    bool waitForSamples(std::size_t count, std::chrono::milliseconds timeout) const;

    /// The recording from its first non-zero sample on, once `count` samples of it are in or
    /// `timeout` has passed (see waitForSound).
    std::vector<float> recordSound(
        std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    std::unique_ptr<RunningProgram> recorder_;
};

}  // namespace vireon::testsupport
