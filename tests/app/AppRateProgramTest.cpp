// SPDX-License-Identifier: GPL-3.0-or-later
// Vireon on JACK servers at the rates musicians run them: the program starts without a message
// box, a note from a JACK MIDI keyboard sounds, and its recording is what vireon-render --rate
// writes for the same note, bit for bit from its onset.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestKeyboard.h"
#include "VireonProgramFixture.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/Samples.h"

namespace vireon::ui::test {
namespace {

using testsupport::JackRecorder;
using testsupport::JackServer;
using testsupport::JackServerOptions;

constexpr std::size_t kComparedSamples = 4000;  // at 8000 Hz: the attack and into the decay

// vireon-render's rendering at `rate` of note 69 pressed at engine sample `noteOnAt`.
std::vector<float> renderedAt(std::uint32_t rate, std::uint32_t noteOnAt) {
    TemporaryFolder folder;
    writeFile(folder.path() / "note.txt", std::to_string(noteOnAt) + " 0x90 69 100\n");
    const auto raw = runCommand({VIREON_RENDER, "--events", (folder.path() / "note.txt").string(),
                                 "--rate", std::to_string(rate), "--length",
                                 std::to_string(noteOnAt + 2 * kComparedSamples), "-o", "-"},
                                {}, 30s);
    std::vector<float> samples(raw ? raw->size() / sizeof(float) : 0);
    if (raw) {
        std::memcpy(samples.data(), raw->data(), samples.size() * sizeof(float));
    }
    return samples;
}

class VireonAtServerRate : public VireonProgram,
                           public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(VireonAtServerRate, ANoteFromAKeyboardSoundsAsTheRendererWritesItAtThatRate) {
    const std::uint32_t rate = GetParam();
    // Cycles of at least 5 ms at every rate, as 256 frames are at 48000 Hz: shorter ones are
    // missed on a busy two-core machine, and a missed cycle leaves a gap in the recording.
    const std::uint32_t period = rate > 48000 ? 512 : 256;
    JackServer server(JackServerOptions{.name = {}, .sampleRate = rate, .period = period});
    TestKeyboard keyboard("Vireon test keyboard");
    auto vireon = start(server);
    // The device list is filled only once the window stands: no fatal message box came first.
    ASSERT_TRUE(waitForStatus("0\tMIDI IN", 10s)) << statusTrace() << vireon->errorOutput();
    JackRecorder recorder(server.name());
    recorder.connect(outputPattern(*vireon), 10s);
    ASSERT_EQ(recorder.sampleRate(), rate);
    ASSERT_TRUE(recorder.waitForSamples(4 * period, 5s));

    keyboard.noteOn(69);
    ASSERT_TRUE(waitForStatus("1\tOn", 5s)) << statusTrace();
    const std::size_t compared = kComparedSamples * rate / 8000;
    const std::vector<float> recorded = recorder.recordSound(compared);
    EXPECT_EQ(recorder.droppedSamples(), 0u);
    ASSERT_TRUE(pressKey(findWindow("Vireon"), "Escape"));
    EXPECT_EQ(vireon->waitForExit(5s), 0) << vireon->errorOutput();

    // Where the note fell among the engine samples of one cycle of the rate ratio is unknown
    // (one of 80 places at 44100 Hz, always the same at whole ratios); one of them must match.
    const std::uint32_t phases = 8000 / std::gcd(rate, 8000u);
    const auto phase = testsupport::matchingOnsetPhase(
        recorded, compared, phases, [&](std::uint32_t k) { return renderedAt(rate, k); });
    EXPECT_TRUE(phase.has_value()) << "the recording matches no rendering at " << rate << " Hz; "
                                   << recorder.lateCycles() << " late cycles (xruns) meanwhile";
}

INSTANTIATE_TEST_SUITE_P(Rates, VireonAtServerRate,
                         ::testing::Values(8000u, 44100u, 48000u, 96000u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace vireon::ui::test
