// SPDX-License-Identifier: GPL-3.0-or-later
// The running program against what a user's machine can throw at it: a settings file that is
// not a plain file or cannot be read, a full disk, an audio server that dies or hangs while the
// program quits, a flood of MIDI messages. Each run is the real program on a private X server
// and a private JACK dummy server, as in the other program tests.

#include <RtMidi.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/Waiting.h"

namespace vireon::ui::test {
namespace {

namespace fs = std::filesystem;
using testsupport::JackRecorder;
using testsupport::JackServer;
using testsupport::waitUntil;

// Generous bounds that only tell "works" from "hangs".
constexpr auto kStartUpBound = 10s;
constexpr auto kQuitBound = 10s;

/// The process's resident anonymous memory (heap, stacks) in KiB, from /proc/PID/status.
std::optional<long> anonymousMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("RssAnon:")) {
            return std::stol(line.substr(line.find_first_not_of(" \t", 8)));
        }
    }
    return std::nullopt;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

fs::perms permissionsOf(const fs::path& file) {
    return fs::symlink_status(file).permissions();
}

// A time stamp long past, in whole seconds as every file system keeps them: a file that still
// carries it was neither written nor replaced.
const fs::file_time_type kLongAgo = std::chrono::floor<std::chrono::seconds>(
    fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));

void writeOldFile(const fs::path& file, const std::string& bytes, fs::perms permissions) {
    writeFile(file, bytes);
    fs::last_write_time(file, kLongAgo);
    fs::permissions(file, permissions);
}

class VireonFault : public VireonProgram {
  protected:
    /// Starts `program` (by default the test's copy) behind an optional command prefix that
    /// executes it in place, so the process id is the program's.
    std::unique_ptr<RunningProgram> startProgram(const JackServer& server,
                                                 const std::vector<std::string>& prefix = {},
                                                 std::optional<fs::path> program = {}) {
        std::vector<std::string> arguments = prefix;
        arguments.push_back(program.value_or(this->program()).string());
        return std::make_unique<RunningProgram>(arguments, environmentFor(server), folder.path(),
                                                std::vector<std::string>{"QT_QPA_PLATFORM"});
    }

    /// Waits until the program is up, window and MIDI status shown, and returns the window.
    std::string startedWindow(RunningProgram& vireon) {
        const std::string window = findWindow("Vireon");
        if (window.empty()) {
            ADD_FAILURE() << "no window: " << vireon.errorOutput();
            return window;
        }
        // The MIDI status is shown once the window is built and the input opened.
        EXPECT_TRUE(waitUntil([&] { return statusTrace().find("0\t") != std::string::npos; },
                              kStartUpBound))
            << statusTrace() << vireon.errorOutput();
        return window;
    }

    /// Escape, as a user quits; whether the program then ended with status 0.
    bool quitsWithEscape(RunningProgram& vireon, const std::string& window) {
        EXPECT_TRUE(pressKey(window, "Escape"));
        const std::optional<int> status = vireon.waitForExit(kQuitBound);
        EXPECT_EQ(status, 0) << vireon.errorOutput();
        return status == 0;
    }

    /// The Disorder box is the last stop of the window's tab chain, which starts at the device
    /// list; there the Up key steps the value by one.
    bool stepDisorderUp(const std::string& window) {
        return pressKey(window, "shift+Tab") && pressKey(window, "Up");
    }

    std::string lastNoteStatus() const {
        const std::string trace = statusTrace();
        const std::size_t at = trace.rfind("1\t");
        return at == std::string::npos ? std::string() : trace.substr(at);
    }
};

// ---------------------------------------------------------------------------------------------
// Settings files that are not what the program wrote

struct OddSettingsFile {
    const char* name;
    std::function<void(const fs::path& file)> make;
    std::function<void(const fs::path& file)> expectAfterwards;
    /// Run the program so that file permissions bind it even when the tests run as root.
    bool permissionsBind = false;
    /// Checks on the running program once it is up.
    std::function<void(RunningProgram& vireon)> whileRunning = {};
};

void PrintTo(const OddSettingsFile& odd, std::ostream* out) {
    *out << odd.name;
}

class OddSettings : public VireonFault, public ::testing::WithParamInterface<OddSettingsFile> {};

// For root, a file's mode means nothing: CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH let it read
// and write everything. Running the program without them in its bounding set keeps it root
// (so the root-owned JACK server and X display still serve it) while modes bind it as they bind
// any user.
std::vector<std::string> prefixWherePermissionsBind() {
    if (::geteuid() != 0) {
        return {};
    }
    return {"/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"};
}

TEST_P(OddSettings, StartsAndQuitsNormallyAndLeavesTheFileAsExpected) {
    const OddSettingsFile& odd = GetParam();
    const std::vector<std::string> prefix =
        odd.permissionsBind ? prefixWherePermissionsBind() : std::vector<std::string>{};
    if (!prefix.empty() && !fs::exists(prefix.front())) {
        GTEST_SKIP() << "setpriv is needed to make file permissions bind root";
    }
    odd.make(settingsFile());
    JackServer server;
    auto vireon = startProgram(server, prefix);
    const std::string window = startedWindow(*vireon);
    ASSERT_FALSE(window.empty());
    if (odd.whileRunning) {
        odd.whileRunning(*vireon);
    }
    ASSERT_TRUE(quitsWithEscape(*vireon, window));
    odd.expectAfterwards(settingsFile());
}

const OddSettingsFile kOddSettingsFiles[] = {
    {.name = "Directory",
     .make =
         [](const fs::path& file) {
             fs::create_directory(file);
             writeFile(file / "inside.txt", "5\r\n");
         },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_TRUE(fs::is_directory(fs::symlink_status(file)));
             EXPECT_EQ(namesIn(file), std::set<std::string>{"inside.txt"});
             EXPECT_EQ(readFile(file / "inside.txt"), "5\r\n");
         }},
    // A link is followed, also by the save, which then creates the file it names: the link
    // itself stays as the user made it.
    {.name = "DanglingLink",
     .make = [](const fs::path& file) { fs::create_symlink("saved-chaos.txt", file); },
     .expectAfterwards =
         [](const fs::path& file) {
             ASSERT_TRUE(fs::is_symlink(file));
             EXPECT_EQ(fs::read_symlink(file), "saved-chaos.txt");
             EXPECT_EQ(readFile(file.parent_path() / "saved-chaos.txt"), "10\r\n");
         }},
    // Opening a pipe for reading would wait for a writer that never comes.
    {.name = "NamedPipe",
     .make = [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file)));
             EXPECT_EQ(permissionsOf(file), static_cast<fs::perms>(0644));
         }},
    // Neither readable nor writable: the defaults are used and the file is left alone.
    {.name = "Unreadable",
     .make = [](const fs::path& file) { writeOldFile(file, "25\r\n", fs::perms::none); },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_EQ(permissionsOf(file), fs::perms::none);
             EXPECT_EQ(readFile(file), "25\r\n");
             EXPECT_TRUE(fs::last_write_time(file) == kLongAgo) << "the file was written";
         },
     .permissionsBind = true},
    // Writable but not readable: the save shows which value the program went with.
    {.name = "WriteOnly",
     .make =
         [](const fs::path& file) {
             writeFile(file, "25\r\n");
             fs::permissions(file, fs::perms::owner_write);
         },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_EQ(permissionsOf(file), fs::perms::owner_write);
             EXPECT_EQ(readFile(file), "10\r\n");
         },
     .permissionsBind = true},
    {.name = "ReadOnly",
     .make =
         [](const fs::path& file) { writeOldFile(file, "7\r\n", static_cast<fs::perms>(0444)); },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_EQ(permissionsOf(file), static_cast<fs::perms>(0444));
             EXPECT_EQ(readFile(file), "7\r\n");
             EXPECT_TRUE(fs::last_write_time(file) == kLongAgo) << "the file was written";
         },
     .permissionsBind = true},
    // 300 MB without a line end. Only a small part of it is ever read, and the file, which
    // loads as that part, is kept whole by the save.
    {.name = "HugeLineWithoutLineEnd",
     .make =
         [](const fs::path& file) {
             std::ofstream out(file, std::ios::binary);
             out << "13";
             const std::string chunk(1 << 20, 'x');
             for (int i = 0; i < 300; ++i) {
                 out << chunk;
             }
         },
     .expectAfterwards =
         [](const fs::path& file) {
             EXPECT_EQ(fs::file_size(file), 2u + (300u << 20));
             std::ifstream in(file, std::ios::binary);
             char start[3] = {};
             in.read(start, 3);
             EXPECT_EQ(std::string(start, 3), "13x");
             in.seekg(-1, std::ios::end);
             EXPECT_EQ(in.get(), 'x');
         },
     .whileRunning =
         [](RunningProgram& vireon) {
             // Tens of MiB at most, where holding the line would take hundreds.
             const std::optional<long> memory = anonymousMemoryKiB(vireon.pid());
             ASSERT_TRUE(memory.has_value());
             EXPECT_LT(*memory, 100 * 1024) << "KiB of anonymous memory";
             std::printf("Anonymous memory with a 300 MB settings line: %ld KiB\n", *memory);
         }},
};

INSTANTIATE_TEST_SUITE_P(SettingsFile, OddSettings, ::testing::ValuesIn(kOddSettingsFiles),
                         [](const ::testing::TestParamInfo<OddSettingsFile>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// A full disk

/// A small tmpfs mounted at `where` for the object's lifetime, if this process may mount
/// file systems.
class SmallFileSystem {
  public:
    SmallFileSystem(const fs::path& where, std::uintmax_t bytes) : where_(where) {
        fs::create_directory(where_);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ =
            ::mount("tmpfs", where_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        error_ = mounted_ ? 0 : errno;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            // Detached, so a program still holding its executable cannot keep it mounted.
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    int error() const { return error_; }

    /// Writes a file of filler until the file system has no room left.
    void fill(const fs::path& filler) const {
        std::FILE* out = std::fopen(filler.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ::setvbuf(out, nullptr, _IONBF, 0);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), out) == block.size()) {
        }
        // Whatever room is left is smaller than a block; take it byte by byte.
        while (std::fwrite("f", 1, 1, out) == 1) {
        }
        std::fclose(out);
    }

  private:
    fs::path where_;
    bool mounted_ = false;
    int error_ = 0;
};

TEST_F(VireonFault, ASaveOnAFullDiskKeepsThePreviousSettings) {
    const fs::path disk = folder.path() / "disk";
    // Room for the program and a few pages more; the settings file lives beside the program.
    SmallFileSystem fileSystem(disk, fs::file_size(VIREON_PROGRAM) + (256 << 10));
    if (!fileSystem.mounted()) {
        GTEST_SKIP() << "cannot mount a small file system here ("
                     << std::strerror(fileSystem.error())
                     << "); the save's behaviour on a short write is covered with a file-size "
                        "limit in the settings tests";
    }
    const fs::path vireonOnDisk = disk / "vireon";
    fs::copy_file(VIREON_PROGRAM, vireonOnDisk);
    writeFile(disk / "chaos.txt", "7\r\n");
    fileSystem.fill(disk / "filler");
    JackServer server;

    {
        // The user raises Disorder to 8, but the disk has no room for the new file.
        auto vireon = startProgram(server, {}, vireonOnDisk);
        const std::string window = startedWindow(*vireon);
        ASSERT_FALSE(window.empty());
        ASSERT_TRUE(stepDisorderUp(window));
        ASSERT_TRUE(quitsWithEscape(*vireon, window));
        EXPECT_EQ(readFile(disk / "chaos.txt"), "7\r\n");
        EXPECT_EQ(namesIn(disk), (std::set<std::string>{"chaos.txt", "filler", "vireon"}));
    }
    {
        // With room again the same steps are saved: the run above did try to save.
        fs::remove(disk / "filler");
        auto vireon = startProgram(server, {}, vireonOnDisk);
        const std::string window = startedWindow(*vireon);
        ASSERT_FALSE(window.empty());
        ASSERT_TRUE(stepDisorderUp(window));
        ASSERT_TRUE(quitsWithEscape(*vireon, window));
        EXPECT_EQ(readFile(disk / "chaos.txt"), "8\r\n");
    }
}

// ---------------------------------------------------------------------------------------------
// Test devices

/// Counts every message a JACK MIDI port carries, to show what really went over the server.
class MidiTap {
  public:
    explicit MidiTap(const std::string& source) : in_(RtMidi::UNIX_JACK, "Vireon test tap") {
        in_.ignoreTypes(false, false, false);
        in_.setCallback(&MidiTap::receive, this);
        for (unsigned port = 0; port < in_.getPortCount(); ++port) {
            if (in_.getPortName(port).find(source) != std::string::npos) {
                in_.openPort(port, "tap");
                return;
            }
        }
        throw std::runtime_error("The tap found no port named " + source + ".");
    }
    unsigned long count() const { return count_.load(); }

  private:
    static void receive(double, std::vector<unsigned char>*, void* self) {
        ++static_cast<MidiTap*>(self)->count_;
    }

    RtMidiIn in_;
    std::atomic<unsigned long> count_{0};
};

// ---------------------------------------------------------------------------------------------
// The audio server fails while the program quits

/// A JACK client that, once armed, kills the server the moment another client leaves it.
class KillServerWhenAClientLeaves {
  public:
    explicit KillServerWhenAClientLeaves(const JackServer& server) : serverPid_(server.pid()) {
        jack_status_t status{};
        client_ = jack_client_open("Vireon test watcher",
                                   static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                   &status, server.name().c_str());
        if (client_ == nullptr) {
            throw std::runtime_error("The watcher could not connect to the JACK server.");
        }
        jack_set_client_registration_callback(client_, &KillServerWhenAClientLeaves::registered,
                                              this);
        jack_activate(client_);
    }
    ~KillServerWhenAClientLeaves() { jack_client_close(client_); }
    KillServerWhenAClientLeaves(const KillServerWhenAClientLeaves&) = delete;
    KillServerWhenAClientLeaves& operator=(const KillServerWhenAClientLeaves&) = delete;

    void arm() { armed_.store(true); }
    bool fired() const { return fired_.load(); }

  private:
    // On the watcher's notification thread.
    static void registered(const char* /*name*/, int registering, void* self) {
        auto& watcher = *static_cast<KillServerWhenAClientLeaves*>(self);
        if (registering == 0 && watcher.armed_.exchange(false)) {
            ::kill(watcher.serverPid_, SIGKILL);
            watcher.fired_.store(true);
        }
    }

    pid_t serverPid_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> armed_{false};
    std::atomic<bool> fired_{false};
};

TEST_F(VireonFault, QuitsWhenTheAudioServerDiesDuringShutdown) {
    JackServer server;
    auto vireon = startProgram(server);
    {
        JackRecorder recorder(server.name());
        recorder.connect(outputPattern(*vireon), kStartUpBound);
        ASSERT_TRUE(recorder.waitForSamples(256, 5s));
    }
    const std::string window = startedWindow(*vireon);
    ASSERT_FALSE(window.empty());
    // The first client to leave after Escape is the one with which Vireon, quitting, has just
    // made sure that the server still answers; the server dies right after that answer, as the
    // audio library starts to close its own connections: the worst moment.
    KillServerWhenAClientLeaves watcher(server);
    watcher.arm();
    ASSERT_TRUE(pressKey(window, "Escape"));
    EXPECT_EQ(vireon->waitForExit(kQuitBound), 0) << vireon->errorOutput();
    EXPECT_TRUE(watcher.fired());
    server.kill();
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

/// Keeps a JACK server stopped (SIGSTOP) for the object's lifetime. Declared after the test's
/// own clients, it resumes the server before they close their connections, which would otherwise
/// wait for it for ever.
class SuspendedServer {
  public:
    explicit SuspendedServer(const JackServer& server)
        : pid_(server.pid()), stopped_(::kill(pid_, SIGSTOP) == 0) {}
    ~SuspendedServer() { ::kill(pid_, SIGCONT); }
    SuspendedServer(const SuspendedServer&) = delete;
    SuspendedServer& operator=(const SuspendedServer&) = delete;

    bool stopped() const { return stopped_; }

  private:
    pid_t pid_;
    bool stopped_;
};

TEST_F(VireonFault, QuitsWhenTheServerCarryingAudioAndMidiHangsDuringShutdown) {
    JackServer server;
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = startProgram(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", kStartUpBound))
        << statusTrace() << vireon->errorOutput();
    {
        JackRecorder recorder(server.name());
        recorder.connect(outputPattern(*vireon), kStartUpBound);
        ASSERT_TRUE(recorder.waitForSamples(256, 5s));
    }
    keyboard.send({0x90, 60, 100});
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    const std::string window = startedWindow(*vireon);
    ASSERT_FALSE(window.empty());
    // A stopped server answers nobody: every call into the audio and MIDI libraries that needs
    // it waits.
    const SuspendedServer suspended(server);
    ASSERT_TRUE(suspended.stopped());
    ASSERT_TRUE(pressKey(window, "Escape"));
    const auto quitAt = std::chrono::steady_clock::now();
    EXPECT_EQ(vireon->waitForExit(kQuitBound), 0) << vireon->errorOutput();
    std::printf("Quit with the server stopped in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - quitAt)
                                           .count()));
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

// ---------------------------------------------------------------------------------------------
// A flood of MIDI messages

// Ten messages that leave no key held: a note, a legato note and their two releases (one as a
// note-on with velocity 0) among controller, pitch-bend, clock, active-sensing and
// other-channel messages; now and then a system-exclusive message instead of the last.
std::vector<std::vector<unsigned char>> balancedGroup(int index) {
    const auto note = static_cast<unsigned char>(36 + index % 48);
    const auto legato = static_cast<unsigned char>(note + 7);
    std::vector<std::vector<unsigned char>> group = {
        {0x90, note, 100},  {0xB0, 1, static_cast<unsigned char>(index % 128)},
        {0x90, legato, 90}, {0xF8},
        {0x91, 60, 100},    {0xE0, 0, 64},
        {0x80, legato, 0},  {0xFE},
        {0x90, note, 0},    {0x81, 60, 0}};
    if (index % 50 == 0) {
        group.back() = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
    }
    return group;
}

TEST_F(VireonFault, AFloodOfMidiMessagesLeavesTheGateClosedAndMemoryFlat) {
    constexpr int kMessages = 100000;
    constexpr unsigned long kInFlight = 2500;
    constexpr long kMemoryMarginKiB = 2 * 1024;

    JackServer server;
    TestKeyboard keyboard("Vireon flood keyboard");
    auto vireon = startProgram(server);
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", kStartUpBound))
        << statusTrace() << vireon->errorOutput();
    const std::string window = startedWindow(*vireon);
    ASSERT_FALSE(window.empty());
    MidiTap tap("Vireon flood keyboard");
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), kStartUpBound);

    // A first small flood settles whatever the program allocates once, on first use.
    int group = 0;
    for (; group < 200; ++group) {
        for (const auto& message : balancedGroup(group)) {
            keyboard.send(message);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return tap.count() == 2000; }, 5s)) << tap.count();
    ASSERT_TRUE(waitUntil([&] { return lastNoteStatus() == "1\tOff\n"; }, 5s)) << lastNoteStatus();
    std::this_thread::sleep_for(500ms);
    const std::optional<long> memoryBefore = anonymousMemoryKiB(vireon->pid());
    ASSERT_TRUE(memoryBefore.has_value());

    const auto floodStart = std::chrono::steady_clock::now();
    unsigned long sent = tap.count();
    while (sent < 2000 + kMessages) {
        for (const auto& message : balancedGroup(group++)) {
            // The server carries only so many messages per period; the rest would be lost.
            while (sent - tap.count() >= kInFlight) {
                std::this_thread::sleep_for(200us);
            }
            keyboard.send(message);
            ++sent;
        }
    }
    ASSERT_TRUE(waitUntil([&] { return tap.count() == 2000 + kMessages; }, 5s))
        << tap.count() - 2000 << " of " << kMessages << " messages went over the server";
    const auto floodTime = std::chrono::steady_clock::now() - floodStart;
    std::printf("%d MIDI messages went over the server in %lld ms\n", kMessages,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(floodTime).count()));

    EXPECT_TRUE(vireon->running());
    ASSERT_TRUE(waitUntil([&] { return lastNoteStatus() == "1\tOff\n"; }, 5s)) << lastNoteStatus();
    // The default release takes 1.5 s; after it the gate, closed, lets nothing through.
    std::this_thread::sleep_for(1700ms);
    EXPECT_TRUE(silentFor(recorder, 800));
    const std::optional<long> memoryAfter = anonymousMemoryKiB(vireon->pid());
    ASSERT_TRUE(memoryAfter.has_value());
    std::printf("Anonymous memory before the flood %ld KiB, after %ld KiB\n", *memoryBefore,
                *memoryAfter);
    EXPECT_LE(*memoryAfter, *memoryBefore + kMemoryMarginKiB);

    ASSERT_TRUE(quitsWithEscape(*vireon, window));
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
}

}  // namespace
}  // namespace vireon::ui::test
