// SPDX-License-Identifier: GPL-3.0-or-later
#include <portaudio.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "devices/audio/AudioOutput.h"
#include "live/LiveInstrument.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/JackServer.h"
#include "tests/support/PipeWireServer.h"

namespace vireon::audio {
namespace {

using testsupport::ChildOutcome;
using testsupport::JackServer;
using testsupport::PipeWireServer;
using testsupport::runInChildProcess;

// Several JACK periods: long enough for a callback that should not happen to show.
constexpr auto kQuietPeriod = 150ms;

class CountingWait {
  public:
    void operator()(std::chrono::milliseconds wait) {
        ++calls;
        allOneMillisecond = allOneMillisecond && wait == 1ms;
        std::this_thread::sleep_for(wait);
    }
    int calls = 0;
    bool allOneMillisecond = true;
};

class AudioShutdown : public ::testing::Test {
  protected:
    void SetUp() override {
        VIREON_SKIP_WITHOUT_JACKD();
        server = std::make_unique<JackServer>();
        ASSERT_TRUE(output.openAudio()) << output.fatalErrorText();
    }

    void expectNoMoreRendering() {
        const std::int32_t counter = state().sampleCounter.load();
        std::this_thread::sleep_for(kQuietPeriod);
        EXPECT_EQ(state().sampleCounter.load(), counter) << "the callback ran after shutdown";
        EXPECT_EQ(Pa_Terminate(), paNotInitialized) << "the library is still initialised";
    }

    const engine::SynthState& state() { return instrument.instrument().state(); }

    std::unique_ptr<JackServer> server;
    live::LiveInstrument instrument;
    AudioOutput output{instrument};
};

TEST_F(AudioShutdown, ARunningStreamStopsWhileWindowEventsAreServed) {
    output.startAudio();
    ASSERT_TRUE(waitForRendering(state(), 0));
    CountingWait wait;
    EXPECT_TRUE(output.shutdownAudio(std::ref(wait)));
    // Terminating the library takes tens of milliseconds, all of them spent serving the window.
    EXPECT_GT(wait.calls, 0);
    EXPECT_TRUE(wait.allOneMillisecond);
    expectNoMoreRendering();
}

// When the main window cannot be built the stream is shut down without ever being started.
TEST_F(AudioShutdown, AStreamNeverStartedIsNeverRendered) {
    std::this_thread::sleep_for(kQuietPeriod);
    EXPECT_EQ(state().sampleCounter.load(), 0);
    EXPECT_TRUE(output.shutdownAudio(sleepInsteadOfWindowEvents));
    EXPECT_EQ(state().sampleCounter.load(), 0);
    expectNoMoreRendering();
}

TEST(AudioShutdownWithoutLibrary, ReturnsAtOnceWithoutWaiting) {
    live::LiveInstrument instrument;
    AudioOutput output(instrument);
    CountingWait wait;
    EXPECT_TRUE(output.shutdownAudio(std::ref(wait)));
    EXPECT_EQ(wait.calls, 0);
}

// Plays on the server and then does to it what `fault` says, from a child process: the
// library may hang or crash the process, and this test must end either way. Exit code 0
// means shutdownAudio gave the library up within its deadline, as it must.
int shutDownAfterServerFault(pid_t serverPid, int fault, std::chrono::milliseconds deadline) {
    // Never destroyed: after a shutdown that gave up, the audio thread may still hold them.
    auto* instrument = new live::LiveInstrument;
    auto* output = new AudioOutput(*instrument);
    if (!output->openAudio()) {
        std::fprintf(stderr, "open failed: %s\n", output->fatalErrorText().c_str());
        return 2;
    }
    output->startAudio();
    if (!waitForRendering(instrument->instrument().state(), 0)) {
        std::fprintf(stderr, "the stream never rendered\n");
        return 3;
    }
    ::kill(serverPid, fault);
    const auto started = std::chrono::steady_clock::now();
    const bool clean = output->shutdownAudio(sleepInsteadOfWindowEvents, deadline);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    if (clean) {
        std::fprintf(stderr, "shutdown claimed a clean end after %lld ms\n",
                     static_cast<long long>(took.count()));
        return 4;
    }
    if (took > deadline + 2s) {
        std::fprintf(stderr, "shutdown gave up only after %lld ms\n",
                     static_cast<long long>(took.count()));
        return 5;
    }
    // What the application does after a shutdown that gave up.
    ::_exit(0);
}

TEST(AudioShutdownAfterServerFault, AVanishedServerIsGivenUpWithoutCrashing) {
    VIREON_SKIP_WITHOUT_JACKD();
    JackServer server;
    const pid_t serverPid = server.pid();
    const ChildOutcome outcome =
        runInChildProcess([&] { return shutDownAfterServerFault(serverPid, SIGKILL, 1s); }, 20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

TEST(AudioShutdownAfterServerFault, AHungServerIsGivenUpAtTheDeadline) {
    VIREON_SKIP_WITHOUT_JACKD();
    JackServer server;
    const pid_t serverPid = server.pid();
    const ChildOutcome outcome =
        runInChildProcess([&] { return shutDownAfterServerFault(serverPid, SIGSTOP, 1s); }, 20s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
    // Woken up, the server stays stuck on its vanished client and would ignore a polite stop.
    server.kill();
}

// Opens the stream on a PipeWire of its own and stops that server before starting the stream,
// in a child process since the start may hang in the library. Exit code 0 means the start came
// back and the output counts as lost.
int startAfterServerStops() {
    PipeWireServer server;  // its daemons end with the child
    for (const std::string& entry : server.clientEnvironment()) {
        ::putenv(::strdup(entry.c_str()));
    }
    // Never destroyed: a library given up may still hold them.
    auto* instrument = new live::LiveInstrument;
    auto* output = new AudioOutput(*instrument);
    if (!output->openAudio()) {
        return 2;
    }
    server.stop();
    output->startAudio();
    return testsupport::waitUntil([&] { return !output->checkOutput().sounding; }, 5s) ? 0 : 3;
}

TEST(AudioStartAfterServerFault, AServerGoneBeforeTheStartIsALostOutput) {
    if (!PipeWireServer::installed()) {
        GTEST_SKIP() << "PipeWire and WirePlumber are not installed: skipped.";
    }
    const ChildOutcome outcome = runInChildProcess(startAfterServerStops, 30s);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

}  // namespace
}  // namespace vireon::audio
