// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the real program for a long time through a private JACK dummy server and watches it
// from outside: resident memory, CPU time and the server's xruns. Not a unit test: run it with
// scripts/long-run, which prints the figures.

#include <RtMidi.h>
#include <jack/jack.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/RunningProgram.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"

namespace {

using namespace std::chrono_literals;
using vireon::ui::test::runCommand;
using vireon::ui::test::RunningProgram;
using vireon::ui::test::VirtualDisplay;

struct ProcessSample {
    long anonymousKiB = 0;  // memory of the program's own (JACK's shared segment is not)
    long residentKiB = 0;
    double cpuSeconds = 0;
};

ProcessSample sampleProcess(pid_t pid) {
    ProcessSample sample;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) sample.anonymousKiB = std::stol(line.substr(8));
        if (line.rfind("VmRSS:", 0) == 0) sample.residentKiB = std::stol(line.substr(6));
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::stol(field);
        if (index == 15) {
            stime = std::stol(field);
            break;
        }
    }
    sample.cpuSeconds =
        static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return sample;
}

std::atomic<int> xruns{0};

int countXrun(void*) {
    xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const std::string program = argc > 2 ? argv[2] : "";
    // The server's rate: at any other than 8000 the program plays through its converter.
    const int rate = argc > 3 ? std::atoi(argv[3]) : 8000;
    // Frames per server period; 256 makes ALSA's jack device the default output.
    const int period = argc > 4 ? std::atoi(argv[4]) : 256;
    if (seconds <= 0 || program.empty() || rate < 8000 || rate > 192000 || period < 16) {
        std::fprintf(stderr, "usage: vireon_long_run SECONDS PATH-TO-VIREON [RATE [PERIOD]]\n");
        return 2;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vireon-long-run-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "runtime");
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    std::filesystem::copy_file(program, folder / "vireon",
                               std::filesystem::copy_options::overwrite_existing);

    vireon::testsupport::JackServer server(
        vireon::testsupport::JackServerOptions{.name = {},
                                               .sampleRate = static_cast<std::uint32_t>(rate),
                                               .period = static_cast<std::uint32_t>(period)});
    VirtualDisplay display;
    RtMidiOut keyboard(RtMidi::UNIX_JACK, "Vireon long-run keyboard");
    keyboard.openVirtualPort("keys");

    jack_client_t* monitor =
        jack_client_open("vireon-long-run-monitor", JackNoStartServer, nullptr);
    if (monitor == nullptr) {
        std::fprintf(stderr, "Could not open the JACK monitor client.\n");
        return 1;
    }
    jack_set_xrun_callback(monitor, countXrun, nullptr);
    jack_activate(monitor);

    std::vector<std::string> environment = server.clientEnvironment();
    environment.push_back(display.environmentEntry());
    environment.push_back("XDG_RUNTIME_DIR=" + (folder / "runtime").string());
    RunningProgram vireon({(folder / "vireon").string()}, environment, folder, {"QT_QPA_PLATFORM"});
    vireon::testsupport::JackRecorder recorder(server.name());
    // On a JACK server the program is one client, "Vireon".
    recorder.connect("^Vireon:out_0$", 10s);
    const int xrunsAtStart = xruns.load();

    std::mt19937 random(7);
    const auto started = std::chrono::steady_clock::now();
    ProcessSample warm{}, last{};
    double warmAt = 0;
    long peakAnonymous = 0;
    int held = -1;
    for (int step = 0;; ++step) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (elapsed >= seconds || !vireon.running()) break;
        // A musician's pattern: notes of varied length, some legato, some rests.
        const int note = 48 + static_cast<int>(random() % 25);
        std::vector<unsigned char> on{0x90, static_cast<unsigned char>(note), 100};
        keyboard.sendMessage(&on);
        if (held >= 0 && random() % 3 != 0) {
            std::vector<unsigned char> off{0x80, static_cast<unsigned char>(held), 0};
            keyboard.sendMessage(&off);
        }
        held = note;
        if (random() % 4 == 0) {
            std::vector<unsigned char> off{0x80, static_cast<unsigned char>(held), 0};
            keyboard.sendMessage(&off);
            held = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 600));
        recorder.samples();  // keep the recording drained
        last = sampleProcess(vireon.pid());
        if (warmAt == 0 && elapsed > 30) {
            warm = last;
            warmAt = elapsed;
        }
        if (warmAt > 0) peakAnonymous = std::max(peakAnonymous, last.anonymousKiB);
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::size_t recorded = recorder.samples().size();
    const ProcessSample end = sampleProcess(vireon.pid());

    runCommand({"/usr/bin/xdotool", "search", "--name", "^Vireon$", "windowfocus", "--sync", "key",
                "Escape"},
               {display.environmentEntry()}, 10s);
    const auto exitCode = vireon.waitForExit(10s);
    jack_client_close(monitor);

    std::printf(
        "played %.0f s at %d Hz in periods of %d frames, recorded %zu samples (%.1f s of audio)\n",
        elapsed, rate, period, recorded, static_cast<double>(recorded) / rate);
    std::printf(
        "program's own memory (RssAnon): %ld KiB after warm-up, %ld KiB at the end, "
        "%ld KiB at the most\n",
        warm.anonymousKiB, end.anonymousKiB, peakAnonymous);
    std::printf("resident memory incl. JACK's shared segment: %ld KiB\n", end.residentKiB);
    const double cpuShare = (end.cpuSeconds - warm.cpuSeconds) / (elapsed - warmAt) * 100.0;
    std::printf("CPU after warm-up: %.2f %% of one core\n", cpuShare);
    std::printf("xruns reported by the server: %d\n", xruns.load() - xrunsAtStart);
    std::printf("exit status: %s\n",
                exitCode ? std::to_string(*exitCode).c_str() : "none (killed)");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    const bool grew = end.anonymousKiB > warm.anonymousKiB + 1024;
    return exitCode == 0 && !grew && xruns.load() == xrunsAtStart ? 0 : 1;
}
