// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument in a real LV2 host: jalv on a private JACK server with the dummy driver, played
// from a JACK MIDI sequencer and recorded from its output, compared with the offline renderer.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "midi/MidiMessage.h"
#include "plugin/lv2/PluginUri.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"
#include "offline/OfflineRender.h"

namespace vireon::plugintest {
namespace {

using namespace std::chrono_literals;
using testsupport::ProgramInput;
using testsupport::RunningProgram;

constexpr char kHostName[] = "vireon-in-jalv";
constexpr char kKeyboardName[] = "vireon-keys";
constexpr std::uint8_t kNote = 69;

/// The sound of one note held for `heldSamples` engine samples, rendered offline at `rate`.
std::vector<float> renderedNote(std::uint32_t rate, std::uint32_t heldSamples,
                                std::uint32_t lengthSamples) {
    offline::RenderSettings options;
    options.rate = rate;
    const std::vector<offline::TimedMessage> messages = {
        {0, midi::packShortMessage(0x90, kNote, 64)},
        {heldSamples, midi::packShortMessage(0x80, kNote, 64)}};
    return offline::renderOffline(options, messages, lengthSamples);
}

/// Connects two ports with jack_connect, retrying until both exist.
bool connectWhenReady(const testsupport::JackServer& server, const std::string& from,
                      const std::string& to) {
    return testsupport::waitUntil(
        [&] {
            return testsupport::runCommand({VIREON_JACK_CONNECT, from, to},
                                           server.clientEnvironment(), 5s)
                .has_value();
        },
        5s, 50ms);
}

class PluginInJalv : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PluginInJalv, PlaysAKeyboardsNoteAsTheRendererDoes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A plugin built with a sanitizer needs its runtime loaded first, which jalv does not do;
    // the lilv host tests run the same plugin under the sanitizer.
    GTEST_SKIP() << "jalv cannot load a plugin built with a sanitizer";
#endif
    const std::uint32_t rate = GetParam();
    const std::uint32_t framesPerSample = rate / 8000;
    testsupport::JackServer server(
        testsupport::JackServerOptions{.name = {}, .sampleRate = rate, .period = 256});
    testsupport::JackRecorder recorder(server.name());

    std::vector<std::string> environment = server.clientEnvironment();
    environment.push_back("LV2_PATH=" +
                          std::filesystem::path(VIREON_LV2_BUNDLE_DIR).parent_path().string());
    // jalv ends when its input does, so the test holds it open while jalv plays.
    RunningProgram jalv({VIREON_JALV, "-x", "-n", kHostName, plugin::kPluginUri}, environment,
                        std::filesystem::temp_directory_path(), {}, ProgramInput::HeldOpen);
    ASSERT_EQ(recorder.connect(std::string("^") + kHostName + ":out$", 10s),
              std::string(kHostName) + ":out")
        << jalv.errorOutput();

    // One note a second after the keyboard starts, held for 1.5 s, in a loop too long to repeat.
    const std::uint32_t heldSamples = 12000;
    RunningProgram keyboard(
        {VIREON_JACK_MIDISEQ, kKeyboardName, std::to_string(60 * rate), std::to_string(rate),
         std::to_string(kNote), std::to_string(heldSamples * framesPerSample)},
        server.clientEnvironment(), std::filesystem::temp_directory_path());
    ASSERT_TRUE(connectWhenReady(server, std::string(kKeyboardName) + ":out",
                                 std::string(kHostName) + ":midi_in"));

    const std::uint32_t comparedSamples = heldSamples + 4000;
    const std::size_t compared = std::size_t{comparedSamples} * framesPerSample;
    ASSERT_TRUE(recorder.waitForSamples(2 * rate + compared, 20s)) << jalv.errorOutput();
    const std::vector<float> heard = testsupport::alignAtFirstNonZero(recorder.samples());
    EXPECT_EQ(recorder.droppedSamples(), 0u);

    const std::vector<float> expected =
        testsupport::alignAtFirstNonZero(renderedNote(rate, heldSamples, comparedSamples + 2000));
    ASSERT_GE(heard.size(), compared);
    ASSERT_GE(expected.size(), compared);
    EXPECT_EQ(testsupport::firstBitDifference({heard.begin(), heard.begin() + compared},
                                              {expected.begin(), expected.begin() + compared}),
              compared);

    jalv.closeInput();
    EXPECT_EQ(jalv.waitForExit(5s), 0) << jalv.errorOutput();
}

// The engine's own rate, and the one most hosts run at: a whole multiple of it, so each engine
// sample owns the same frames wherever the note falls, and the recording matches bit for bit.
INSTANTIATE_TEST_SUITE_P(Rates, PluginInJalv, ::testing::Values(8000u, 48000u));

}  // namespace
}  // namespace vireon::plugintest
