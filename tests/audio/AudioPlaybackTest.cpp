// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "devices/audio/AudioOutput.h"
#include "engine/AdsrSettings.h"
#include "live/LiveInstrument.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/RenderPhrase.h"
#include "tests/support/Samples.h"

namespace vireon::audio {
namespace {

using midi::MidiMessageKind;
using midi::packShortMessage;
using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;

const std::uint32_t kNoteOn = packShortMessage(0x90, 69, 100);
const std::uint32_t kNoteOff = packShortMessage(0x80, 69, 0);

// A shape whose attack (about 390 samples), decay (2400) and release (2000) all fit in a
// recording of about a second.
void setShortEnvelope(engine::AdsrSettings& adsr, live::LiveInstrument& instrument) {
    adsr.attack = 1200;
    adsr.decay = 300;
    adsr.sustain = 40;
    adsr.release = 250;
    instrument.moveControl(controls::ControlId::Attack, 1200);
    instrument.moveControl(controls::ControlId::Decay, 300);
    instrument.moveControl(controls::ControlId::Sustain, 40);
    instrument.moveControl(controls::ControlId::Release, 250);
}

constexpr std::size_t kHeldSamples = 4000;  // past the decay into the sustain
constexpr std::size_t kRecordedSamples = 9000;
constexpr std::uint32_t kBlock = 256;

// The same note rendered offline from the start-up state: note-on before sample 0 and, when
// `noteOffAt` is not 0, note-off before sample `noteOffAt`.
std::vector<float> renderOffline(const engine::AdsrSettings& adsr, std::size_t length,
                                 std::size_t noteOffAt = 0) {
    std::vector<offline::TimedMessage> messages = {{0, kNoteOn}};
    if (noteOffAt != 0) {
        messages.push_back({static_cast<std::uint32_t>(noteOffAt), kNoteOff});
    }
    return testsupport::renderPhrase(messages, static_cast<std::uint32_t>(length), kBlock, adsr);
}

std::size_t firstNonZero(const std::vector<float>& samples) {
    return samples.size() - alignAtFirstNonZero(samples).size();
}

TEST(AudioPlayback, ANotePlayedLiveIsBitIdenticalToTheOfflineRender) {
    VIREON_SKIP_WITHOUT_JACKD();
    testsupport::JackServer server;
    engine::AdsrSettings adsr;
    live::LiveInstrument instrument;
    setShortEnvelope(adsr, instrument);
    AudioOutput output(instrument);
    ASSERT_TRUE(output.openAudio()) << output.fatalErrorText();
    output.startAudio();

    testsupport::JackRecorder recorder(server.name());
    recorder.connect(streamPortPattern(), 5s);
    ASSERT_TRUE(recorder.waitForSamples(2 * kBlock, 5s)) << "the recorder gets no samples";

    instrument.playMessage(kNoteOn);
    ASSERT_GE(recorder.recordSound(kHeldSamples).size(), kHeldSamples) << "no sound arrived";
    instrument.playMessage(kNoteOff);
    const std::vector<float> live = recorder.recordSound(kRecordedSamples);
    ASSERT_GE(live.size(), kRecordedSamples);
    EXPECT_TRUE(output.shutdownAudio(sleepInsteadOfWindowEvents));
    EXPECT_EQ(recorder.droppedSamples(), 0u);

    // The note-on's moment within the stream is unknown, but from its attack on the note is
    // fully determined; only the note-off's moment has to be found in the recording.
    const std::vector<float> held = renderOffline(adsr, 2 * kRecordedSamples);
    const std::size_t soundStart = firstNonZero(held);
    const std::size_t noteOff = firstBitDifference(live, alignAtFirstNonZero(held));
    ASSERT_GE(noteOff, kHeldSamples) << "attack or decay differ from the offline render";
    ASSERT_LT(noteOff, live.size()) << "the note-off changed nothing";

    const std::vector<float> expected =
        alignAtFirstNonZero(renderOffline(adsr, 2 * kRecordedSamples, soundStart + noteOff));
    ASSERT_GE(expected.size(), live.size());
    const std::size_t difference = firstBitDifference(live, expected);
    EXPECT_EQ(difference, live.size())
        << "live " << live[difference] << " offline " << expected[difference];
    // The release must have run out inside the comparison, or its end went unchecked.
    EXPECT_EQ(live.back(), 0.0f);
}

// The note rendered offline at `rate`, its note-on at engine sample `noteOnAt`.
std::vector<float> renderOfflineAt(std::uint32_t rate, const engine::AdsrSettings& adsr,
                                   std::uint32_t noteOnAt, std::size_t frames) {
    engine::SynthState state;
    midi::MidiNoteHandler handler(state);
    rate::RateRenderer renderer(state, adsr, rate);
    std::vector<float> out(frames);
    const auto noteFrame = static_cast<std::uint32_t>(renderer.frameAt(noteOnAt));
    renderer.render(out.data(), noteFrame);
    renderer.alignForEvent();
    handler.onMidiMessage(MidiMessageKind::Data, kNoteOn, 0);
    renderer.render(out.data() + noteFrame, static_cast<std::uint32_t>(frames - noteFrame));
    return out;
}

class AudioPlaybackAtServerRate : public ::testing::TestWithParam<std::uint32_t> {};

// A server that refuses the engine's rate gets the stream at its own, converted; a note then
// sounds exactly as the converter renders it offline.
TEST_P(AudioPlaybackAtServerRate, ANotePlayedLiveIsTheOfflineRenderConverted) {
    VIREON_SKIP_WITHOUT_JACKD();
    const std::uint32_t rate = GetParam();
    testsupport::JackServer server(
        testsupport::JackServerOptions{.name = {}, .sampleRate = rate, .period = 256});
    engine::AdsrSettings adsr;
    live::LiveInstrument instrument;
    setShortEnvelope(adsr, instrument);
    AudioOutput output(instrument);
    ASSERT_TRUE(output.openAudio()) << output.fatalErrorText();
    EXPECT_EQ(output.outputRate(), rate);
    output.startAudio();
    // PortAudio's own JACK client shows in patchbays under the program's name.
    EXPECT_TRUE(testsupport::jackClientExists(server.name(), "Vireon"));

    testsupport::JackRecorder recorder(server.name());
    recorder.connect(streamPortPattern(), 5s);
    ASSERT_TRUE(recorder.waitForSamples(2 * kBlock, 5s)) << "the recorder gets no samples";
    instrument.playMessage(kNoteOn);
    const std::size_t compared = kHeldSamples * rate / 8000;
    const std::vector<float> live = recorder.recordSound(compared);
    EXPECT_TRUE(output.shutdownAudio(sleepInsteadOfWindowEvents));
    EXPECT_EQ(recorder.droppedSamples(), 0u);

    const std::uint32_t phases = 8000 / std::gcd(rate, 8000u);
    const auto phase = testsupport::matchingOnsetPhase(
        live, compared, phases,
        [&](std::uint32_t k) { return renderOfflineAt(rate, adsr, k, 2 * compared); });
    EXPECT_TRUE(phase.has_value()) << "no onset phase matches the live recording; "
                                   << recorder.lateCycles() << " late cycles (xruns) meanwhile";
}

INSTANTIATE_TEST_SUITE_P(Rates, AudioPlaybackAtServerRate, ::testing::Values(48000u, 44100u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace vireon::audio
