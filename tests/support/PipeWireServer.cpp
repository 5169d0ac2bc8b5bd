// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PipeWireServer.h"

#include <signal.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "tests/support/Environment.h"
#include "tests/support/JackServer.h"
#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"

namespace vireon::testsupport {
namespace {

using namespace std::chrono_literals;

constexpr auto kReadyTimeout = 10s;
constexpr auto kStopTimeout = 5s;
constexpr auto kToolTimeout = 5s;

const char* const kSocketName = "pipewire-0";

// What a desktop session would offer the daemons and must not here: a session bus to register
// on, or a display to start one for.
const std::vector<std::string> kDesktopVariables = {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY",
                                                    "WAYLAND_DISPLAY"};

std::filesystem::path requireProgram(const std::string& name) {
    const std::optional<std::filesystem::path> program = findOnPath(name);
    if (!program) {
        throw std::runtime_error(name +
                                 " is not installed (Debian packages pipewire, "
                                 "pipewire-bin, wireplumber)");
    }
    return *program;
}

// Without a desktop's D-Bus, WirePlumber must neither reserve ALSA devices through it nor ask
// the Flatpak portal, and its Bluetooth monitor has nothing to watch.
void writeWirePlumberSettings(const std::filesystem::path& configFolder) {
    const std::filesystem::path main = configFolder / "wireplumber" / "main.lua.d";
    const std::filesystem::path bluetooth = configFolder / "wireplumber" / "bluetooth.lua.d";
    std::filesystem::create_directories(main);
    std::filesystem::create_directories(bluetooth);
    std::ofstream(main / "51-no-dbus.lua")
        << "alsa_monitor.properties[\"alsa.reserve\"] = false\n"
           "default_access.properties[\"enable-flatpak-portal\"] = false\n";
    std::ofstream(bluetooth / "51-no-bluetooth.lua") << "bluez_monitor.enabled = false\n";
}

// A daemon runs behind setpriv, which executes it in place and asks the kernel to end it when
// the thread that started it dies.
std::vector<std::string> daemonCommand(const std::string& name) {
    std::vector<std::string> command;
    if (const std::optional<std::filesystem::path> setpriv = findOnPath("setpriv")) {
        command = {setpriv->string(), "--pdeathsig", "TERM", "--"};
    }
    command.push_back(requireProgram(name).string());
    return command;
}

}  // namespace

bool PipeWireServer::installed() {
    for (const char* program : {"pipewire", "wireplumber", "pw-cli", "pw-metadata", "pw-record"}) {
        if (!findOnPath(program)) {
            return false;
        }
    }
    return true;
}

bool PipeWireServer::jackInstalled() {
    return findOnPath("pw-jack").has_value();
}

std::vector<std::string> PipeWireServer::underPipeWireJack(std::vector<std::string> command) {
    command.insert(command.begin(), requireProgram("pw-jack").string());
    return command;
}

PipeWireServer::PipeWireServer(std::uint32_t rate)
    : folder_(makeTemporaryFolder("vireon-pipewire")),
      sinkName_("vireon-test-sink"),
      jackServerName_(uniqueJackServerName()),
      rate_(rate) {
    try {
        std::filesystem::create_directory(folder_ / "runtime");
        std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        writeWirePlumberSettings(folder_ / "config");
        start();
    } catch (...) {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        throw;
    }
}

PipeWireServer::~PipeWireServer() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> PipeWireServer::daemonEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
            "PIPEWIRE_RUNTIME_DIR=" + (folder_ / "runtime").string(),
            "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
            "XDG_STATE_HOME=" + (folder_ / "state").string(),
            std::string("PIPEWIRE_REMOTE=") + kSocketName};
}

std::vector<std::string> PipeWireServer::clientEnvironment() const {
    return {"PIPEWIRE_RUNTIME_DIR=" + (folder_ / "runtime").string(),
            std::string("PIPEWIRE_REMOTE=") + kSocketName,
            std::string("ALSA_CONFIG_PATH=") + VIREON_TEST_ALSA_PIPEWIRE_CONFIG,
            "JACK_DEFAULT_SERVER=" + jackServerName_, "JACK_NO_START_SERVER=1"};
}

std::optional<std::string> PipeWireServer::runTool(
    const std::vector<std::string>& arguments) const {
    std::vector<std::string> command = arguments;
    command.front() = requireProgram(command.front()).string();
    return runCommand(command, daemonEnvironment(), kToolTimeout);
}

void PipeWireServer::waitUntil(const std::string& what, const std::function<bool()>& condition) {
    if (!testsupport::waitUntil(condition, kReadyTimeout, 20ms)) {
        throw std::runtime_error("PipeWire: " + what + " did not happen in time:\n" + log());
    }
}

void PipeWireServer::start() {
    if (pipewire_) {
        return;
    }
    pipewire_ = std::make_unique<RunningProgram>(daemonCommand("pipewire"), daemonEnvironment(),
                                                 folder_, kDesktopVariables);
    waitUntil("the daemon accepting clients", [&] {
        return std::filesystem::exists(folder_ / "runtime" / kSocketName) &&
               runTool({"pw-cli", "info", "0"}).has_value();
    });
    wireplumber_ = std::make_unique<RunningProgram>(
        daemonCommand("wireplumber"), daemonEnvironment(), folder_, kDesktopVariables);
    // Lingering, the sink outlives the pw-cli that asks for it.
    const std::string sink = "{ factory.name=support.null-audio-sink node.name=" + sinkName_ +
                             " media.class=Audio/Sink audio.rate=" + std::to_string(rate_) +
                             " audio.channels=2 audio.position=[FL FR] object.linger=true }";
    if (!runTool({"pw-cli", "create-node", "adapter", sink})) {
        throw std::runtime_error("PipeWire: the null sink could not be made:\n" + log());
    }
    // The graph runs at the sink's rate, so the stream reaches it unconverted.
    runTool({"pw-metadata", "-n", "settings", "0", "clock.force-rate", std::to_string(rate_)});
    const std::string defaultSink = "\"name\":\"" + sinkName_ + "\"";
    waitUntil("the sink becoming the default output", [&] {
        const std::optional<std::string> metadata =
            runTool({"pw-metadata", "0", "default.audio.sink"});
        return metadata && metadata->find(defaultSink) != std::string::npos;
    });
}

void PipeWireServer::endDaemon(std::unique_ptr<RunningProgram>& daemon) {
    if (!daemon) {
        return;
    }
    if (daemon->running()) {
        ::kill(daemon->pid(), SIGTERM);
        daemon->waitForExit(kStopTimeout);
    }
    earlierLogs_ += daemon->errorOutput() + daemon->standardOutput();
    daemon.reset();  // kills it if it is still running
}

void PipeWireServer::stop() {
    endDaemon(wireplumber_);
    endDaemon(pipewire_);
}

std::string PipeWireServer::log() const {
    std::string text = earlierLogs_;
    for (const std::unique_ptr<RunningProgram>* daemon : {&pipewire_, &wireplumber_}) {
        if (*daemon) {
            text += (*daemon)->errorOutput() + (*daemon)->standardOutput();
        }
    }
    return text;
}

PipeWireRecorder::PipeWireRecorder(const PipeWireServer& server) {
    std::vector<std::string> environment = server.clientEnvironment();
    recorder_ = std::make_unique<RunningProgram>(
        std::vector<std::string>{requireProgram("pw-record").string(), "--target",
                                 server.sinkName(), "-P", "{ stream.capture.sink=true }",
                                 "--format", "f32", "--rate", "8000", "--channels", "2", "-"},
        environment, std::filesystem::temp_directory_path());
}

PipeWireRecorder::~PipeWireRecorder() {
    if (recorder_->running()) {
        ::kill(recorder_->pid(), SIGTERM);
        recorder_->waitForExit(kStopTimeout);
    }
}

std::vector<float> PipeWireRecorder::samples() const {
    // Standard output carries the raw samples, as the recorder writes them.
    const std::string bytes = recorder_->standardOutput();
    std::vector<float> frames(bytes.size() / sizeof(float) / 2 * 2);
    if (!frames.empty()) {
        std::memcpy(frames.data(), bytes.data(), frames.size() * sizeof(float));
    }
    std::vector<float> left(frames.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = frames[2 * i];
    }
    return left;
}

bool PipeWireRecorder::waitForSamples(std::size_t count, std::chrono::milliseconds timeout) const {
    return testsupport::waitUntil([&] { return samples().size() >= count; }, timeout, 50ms);
}

std::vector<float> PipeWireRecorder::recordSound(std::size_t count,
                                                 std::chrono::milliseconds timeout) const {
    return waitForSound([&] { return samples(); }, count, timeout, 50ms);
}

}  // namespace vireon::testsupport
