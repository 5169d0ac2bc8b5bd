// SPDX-License-Identifier: GPL-3.0-or-later
// Notes played into Vireon's own JACK MIDI input start one fixed delay after their events,
// wherever inside the period they come: the program's one JACK client applies each event at its
// frame. One client of the test sends the notes and records the sound in the same process
// callback, so both are on the server's frame clock.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "devices/audio/AudioOutput.h"
#include "instrument/Instrument.h"
#include "live/LiveInstrument.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/JackServer.h"

namespace vireon::audio {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kPeriod = 128;
// One engine sample at 48 kHz: an event takes effect at the engine sample its frame belongs to.
constexpr std::uint32_t kEngineSampleFrames = kRate / 8000;
// Where the notes fall inside their period.
constexpr std::array<std::uint32_t, 12> kOffsets = {0, 1, 5, 6, 7, 31, 63, 64, 65, 100, 121, 127};
// Whole periods, so each note keeps its offset; long enough for the note (whose attack follows
// the 125 ms fade of what sounded before) and its release to end in exact silence.
constexpr std::uint32_t kNoteSpacing = 188 * kPeriod;
constexpr std::uint32_t kHeldFrames = 9600;
constexpr std::uint32_t kLeadIn = 16 * kPeriod;
constexpr std::uint32_t kRecorded = kLeadIn + kNoteSpacing * (kOffsets.size() + 1);
constexpr int kReleaseMs = 20;

// Sends the notes at their frames and records the input, both in one process callback.
class TimingProbe {
  public:
    // On the server the environment names, as every client of the test.
    TimingProbe() : recording_(kRecorded, 0.0f) {
        jack_status_t status{};
        client_ = jack_client_open("timing probe", JackNoStartServer, &status);
        if (client_ == nullptr) {
            throw std::runtime_error("the timing probe cannot open a JACK client");
        }
        midiOut_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        audioIn_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, process, this);
        jack_set_xrun_callback(client_, xrun, this);
        if (midiOut_ == nullptr || audioIn_ == nullptr || jack_activate(client_) != 0) {
            jack_client_close(client_);
            throw std::runtime_error("the timing probe cannot offer its ports");
        }
    }
    ~TimingProbe() { jack_client_close(client_); }

    bool connect() {
        return jack_connect(client_, "timing probe:out", "Vireon:MIDI in") == 0 &&
               jack_connect(client_, "Vireon:out_0", "timing probe:in") == 0;
    }
    void arm() { armed_.store(true); }
    bool done() const { return recorded_.load() >= kRecorded; }
    std::uint32_t xruns() const { return xruns_.load(); }
    const std::vector<float>& recording() const { return recording_; }

    // The recording frame of note `i`'s note-on.
    static std::uint32_t noteFrame(std::size_t i) {
        return kLeadIn + static_cast<std::uint32_t>(i) * kNoteSpacing + kOffsets[i];
    }

  private:
    static int process(jack_nframes_t frames, void* self) {
        static_cast<TimingProbe*>(self)->cycle(frames);
        return 0;
    }
    static int xrun(void* self) {
        static_cast<TimingProbe*>(self)->xruns_.fetch_add(1);
        return 0;
    }

    void cycle(jack_nframes_t frames) {
        void* midi = jack_port_get_buffer(midiOut_, frames);
        jack_midi_clear_buffer(midi);
        const auto* input = static_cast<const float*>(jack_port_get_buffer(audioIn_, frames));
        if (!armed_.load() || done()) {
            return;
        }
        const std::uint32_t start = recorded_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < kOffsets.size(); ++i) {
            for (const auto& [at, status] : {std::pair{noteFrame(i), 0x90},
                                             std::pair{noteFrame(i) + kHeldFrames, 0x80}}) {
                if (at >= start && at < start + frames) {
                    const std::array<jack_midi_data_t, 3> message = {
                        static_cast<jack_midi_data_t>(status), 69, 100};
                    jack_midi_event_write(midi, at - start, message.data(), message.size());
                }
            }
        }
        const std::uint32_t count = std::min<std::uint32_t>(frames, kRecorded - start);
        std::copy_n(input, count, recording_.begin() + start);
        recorded_.store(start + count, std::memory_order_release);
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* midiOut_ = nullptr;
    jack_port_t* audioIn_ = nullptr;
    std::vector<float> recording_;
    std::atomic<bool> armed_{false};
    std::atomic<std::uint32_t> recorded_{0};
    std::atomic<std::uint32_t> xruns_{0};
};

std::size_t firstNonZeroFrom(const std::vector<float>& samples, std::size_t from) {
    const auto found = std::find_if(samples.begin() + static_cast<std::ptrdiff_t>(from),
                                    samples.end(), [](float sample) { return sample != 0.0f; });
    return static_cast<std::size_t>(found - samples.begin());
}

// How many frames after its event the renderer's note starts, for an event at `frame`.
std::uint32_t renderedDelay(std::uint32_t frame) {
    instrument::Instrument instrument(kRate);
    instrument.moveControl(controls::ControlId::Release, kReleaseMs);
    std::vector<float> output(frame + kHeldFrames);
    instrument.render(output.data(), frame);
    instrument.handleMessage(0x90 | 69 << 8 | 100 << 16);
    instrument.render(output.data() + frame, kHeldFrames);
    return static_cast<std::uint32_t>(firstNonZeroFrom(output, frame) - frame);
}

TEST(AudioJackTiming, EveryNoteStartsOneFixedDelayAfterItsFrame) {
    VIREON_SKIP_WITHOUT_JACKD();
    testsupport::JackServerOptions options;
    options.sampleRate = kRate;
    options.period = kPeriod;
    testsupport::JackServer server(options);

    live::LiveInstrument instrument;
    instrument.moveControl(controls::ControlId::Release, kReleaseMs);
    AudioOutput output(instrument, AudioOutput::JackPlay::Directly);
    ASSERT_TRUE(output.offersOwnJackMidiInput());
    ASSERT_TRUE(output.openAudio());
    output.startAudio();
    {
        TimingProbe probe;
        ASSERT_TRUE(probe.connect());
        probe.arm();
        ASSERT_TRUE(testsupport::waitUntil([&] { return probe.done(); }, 30s));

        // The renderer's own delays, for an event on each frame of an engine sample.
        std::uint32_t renderedMin = UINT32_MAX;
        std::uint32_t renderedMax = 0;
        for (std::uint32_t frame = 6000; frame < 6000 + kEngineSampleFrames; ++frame) {
            renderedMin = std::min(renderedMin, renderedDelay(frame));
            renderedMax = std::max(renderedMax, renderedDelay(frame));
        }

        std::vector<std::uint32_t> delays;
        for (std::size_t i = 0; i < kOffsets.size(); ++i) {
            const std::size_t onset = firstNonZeroFrom(probe.recording(), TimingProbe::noteFrame(i));
            ASSERT_LT(onset, TimingProbe::noteFrame(i) + kNoteSpacing) << "note " << i;
            delays.push_back(static_cast<std::uint32_t>(onset - TimingProbe::noteFrame(i)));
        }
        // The graph holds a loop (probe to Vireon and back), which the server breaks with a
        // delay of whole periods, and may break anew after a late cycle. Past those whole
        // periods, each note starts as the renderer starts it, wherever in the cycle it came:
        // an event applied at the block's start instead would be late by the rest of its cycle.
        std::vector<std::uint32_t> withinCycle;
        std::uint32_t fewest = UINT32_MAX, most = 0;
        for (const std::uint32_t delay : delays) {
            const std::uint32_t periods = (delay - std::min(delay, renderedMin)) / kPeriod;
            fewest = std::min(fewest, periods);
            most = std::max(most, periods);
            withinCycle.push_back(delay - periods * kPeriod);
        }
        const auto [shortest, longest] = std::minmax_element(withinCycle.begin(), withinCycle.end());
        std::printf(
            "JACK %u Hz, %u frames: delay %u to %u frames after the event past %u to %u whole "
            "periods of the test's loop (the renderer's: %u to %u); jitter %u frames; %u xruns\n",
            kRate, kPeriod, *shortest, *longest, fewest, most, renderedMin, renderedMax,
            *longest - *shortest, probe.xruns());
        for (std::size_t i = 0; i < kOffsets.size(); ++i) {
            EXPECT_GE(withinCycle[i], renderedMin) << "offset " << kOffsets[i];
            EXPECT_LE(withinCycle[i], renderedMax) << "offset " << kOffsets[i];
        }
        EXPECT_LT(*longest - *shortest, kEngineSampleFrames);
        // The loop's delay changes only when the server ran late.
        EXPECT_TRUE(fewest == most || probe.xruns() > 0) << fewest << " to " << most << " periods";
    }
    EXPECT_TRUE(output.shutdownAudio(sleepInsteadOfWindowEvents));
}

}  // namespace
}  // namespace vireon::audio
