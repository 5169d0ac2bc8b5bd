// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/JackServer.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "tests/support/CrashTrace.h"
#include "tests/support/Waiting.h"

extern char** environ;

namespace vireon::testsupport {
namespace {

using namespace std::chrono_literals;

// A PipeWire socket name that no daemon uses.
constexpr const char* kNoPipeWire = "vireon-no-pipewire";
constexpr auto kPollInterval = 10ms;
constexpr auto kStopTimeout = 5s;

void ignoreJackMessage(const char* /*message*/) {}

// posix_spawn's configuration objects, released on every path out of the start-up.
struct SpawnSettings {
    SpawnSettings() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

bool jackdRunning() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "jackd") {
            return true;
        }
    }
    return false;
}

}  // namespace

void repairJackMetadataDatabase() {
    const std::filesystem::path database =
        "/dev/shm/jack_db-" + std::to_string(static_cast<unsigned long>(::getuid()));
    std::error_code error;
    bool broken = false;
    for (const auto& entry : std::filesystem::directory_iterator(database, error)) {
        const std::string file = entry.path().filename().string();
        if (file.starts_with("__db.") && entry.file_size(error) == 0 && !error) {
            broken = true;
        }
    }
    if (broken && !jackdRunning()) {
        std::filesystem::remove_all(database, error);
    }
}

std::string uniqueJackServerName() {
    static std::atomic<unsigned> counter{0};
    return "vireon-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool jackClientExists(const std::string& serverName, const std::string& clientName) {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open(
        "vireon-test-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
        &status, serverName.c_str());
    if (probe == nullptr) {
        return false;
    }
    char* uuid = jack_get_uuid_for_client_name(probe, clientName.c_str());
    const bool exists = uuid != nullptr;
    jack_free(uuid);
    jack_client_close(probe);
    return exists;
}

JackClientEnvironment::JackClientEnvironment(const std::string& serverName)
    : defaultServer_("JACK_DEFAULT_SERVER", serverName),
      noStartServer_("JACK_NO_START_SERVER", "1"),
      alsaConfiguration_("ALSA_CONFIG_PATH", VIREON_TEST_ALSA_JACK_CONFIG),
      pipeWireRemote_("PIPEWIRE_REMOTE", kNoPipeWire) {
    repairJackMetadataDatabase();
}

std::vector<std::string> JackClientEnvironment::variablesFor(const std::string& serverName) {
    repairJackMetadataDatabase();
    return {"JACK_DEFAULT_SERVER=" + serverName, "JACK_NO_START_SERVER=1",
            std::string("ALSA_CONFIG_PATH=") + VIREON_TEST_ALSA_JACK_CONFIG,
            std::string("PIPEWIRE_REMOTE=") + kNoPipeWire};
}

std::optional<std::filesystem::path> JackServer::findJackd() {
    return findOnPath("jackd");
}

JackServer::JackServer(JackServerOptions options)
    : options_(std::move(options)),
      name_(options_.name.empty() ? uniqueJackServerName() : options_.name),
      environment_(name_),
      directory_(makeTemporaryFolder("vireon-jackd")) {
    traceCrashes();
    try {
        start();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        throw;
    }
}

JackServer::~JackServer() {
    try {
        stop();
    } catch (const std::exception&) {
        // The registry entry stays taken; nothing else can be done from a destructor.
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::vector<std::string> JackServer::clientEnvironment() const {
    return JackClientEnvironment::variablesFor(name_);
}

void JackServer::start() {
    const std::optional<std::filesystem::path> jackd = findJackd();
    if (!jackd) {
        throw std::runtime_error("jackd is not installed (Debian package jackd2)");
    }
    std::vector<std::string> arguments;
    // setpriv executes jackd in place, so the process id stays the server's.
    if (const std::optional<std::filesystem::path> setpriv = findOnPath("setpriv")) {
        arguments = {setpriv->string(), "--pdeathsig", "TERM", "--"};
    }
    const std::vector<std::string> server = {jackd->string(),
                                             "--no-realtime",
                                             "-n",
                                             name_,
                                             "-d",
                                             "dummy",
                                             "-r",
                                             std::to_string(options_.sampleRate),
                                             "-p",
                                             std::to_string(options_.period)};
    arguments.insert(arguments.end(), server.begin(), server.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    const std::string logPath = (directory_ / "jackd.log").string();
    SpawnSettings spawn;
    ::posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, logPath.c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::posix_spawn_file_actions_adddup2(&spawn.actions, STDOUT_FILENO, STDERR_FILENO);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    ::posix_spawnattr_setsigmask(&spawn.attributes, &noSignals);
    // A process group of its own: killing a test's process group must not kill the server
    // without ceremony, which would leave its registry entry behind.
    ::posix_spawnattr_setpgroup(&spawn.attributes, 0);
    ::posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    const int error =
        ::posix_spawn(&pid_, argv[0], &spawn.actions, &spawn.attributes, argv.data(), environ);
    if (error != 0) {
        pid_ = -1;
        throw std::system_error(error, std::generic_category(), "cannot start jackd");
    }
    try {
        waitUntilReady();
    } catch (...) {
        terminate();
        throw;
    }
}

void JackServer::waitUntilReady() {
    // Each refused connection would print a line; the outcome is all that matters here.
    jack_set_error_function(ignoreJackMessage);
    jack_set_info_function(ignoreJackMessage);
    bool accepted = false;
    bool ended = false;
    waitUntil(
        [&] {
            jack_status_t status{};
            jack_client_t* probe = jack_client_open(
                "vireon-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                &status, name_.c_str());
            if (probe != nullptr) {
                jack_client_close(probe);
                accepted = true;
            } else {
                ended = reapWithin(0ms);
            }
            return accepted || ended;
        },
        options_.startTimeout, kPollInterval);
    if (ended) {
        throw std::runtime_error("jackd ended during start-up:\n" + log());
    }
    if (!accepted) {
        throw std::runtime_error("jackd did not accept clients in time:\n" + log());
    }
}

bool JackServer::reapWithin(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return true;
    }
    return waitUntil(
        [&] {
            int status = 0;
            const pid_t result = ::waitpid(pid_, &status, WNOHANG);
            if (result != pid_ && !(result < 0 && errno == ECHILD)) {
                return false;
            }
            // Not knowing how it ended counts as unclean: a needless restart costs little.
            endedCleanly_ = result == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            pid_ = -1;
            return true;
        },
        timeout, kPollInterval);
}

void JackServer::terminate() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    // A suspended server would keep the termination request pending for ever.
    ::kill(pid_, SIGCONT);
    if (!reapWithin(kStopTimeout)) {
        kill();
    }
}

void JackServer::stop() {
    terminate();
    if (!endedCleanly_) {
        // Starting under the same name takes over the dead server's registry entry; stopping
        // politely then releases it.
        endedCleanly_ = true;
        start();
        terminate();
    }
    removeLeftoverSemaphores();
}

void JackServer::restart() {
    terminate();
    // The new server takes over the registry entry, and stops cleanly in its turn.
    endedCleanly_ = true;
    start();
}

void JackServer::kill() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    endedCleanly_ = false;
}

// Clients that ended without closing (after a kill, or in a child process ended with _exit)
// leave a small semaphore file per client in /dev/shm. The server names are unique, so the
// files of this server are recognisable by name.
void JackServer::removeLeftoverSemaphores() const {
    std::error_code error;
    const std::string marker = "_" + name_ + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.starts_with("jack_sem.") && file.find(marker) != std::string::npos) {
            std::filesystem::remove(entry.path(), error);
        }
    }
}

std::string JackServer::log() const {
    std::ifstream file(directory_ / "jackd.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace vireon::testsupport
