// SPDX-License-Identifier: GPL-3.0-or-later
// The three threads of the running program, driven at full speed against one synthesizer: the
// audio thread renders blocks of every awkward size, the MIDI thread plays random messages and
// closes the device now and then, and the user-interface thread keeps moving the sliders.
//
// It runs for VIREON_STRESS_SECONDS seconds (1 unless set); the ThreadSanitizer build runs it
// longer, where any unsynchronised access between the threads fails it.

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "tests/support/StressDuration.h"

namespace vireon {
namespace {

using namespace std::chrono_literals;
using midi::MidiMessageKind;

constexpr std::uint32_t kLargestBlock = 8192;
// Block sizes a host may hand the callback, the awkward ones included; other blocks are random.
constexpr std::array<std::uint32_t, 12> kEdgeBlockSizes{0,  1,   2,   3,    7,    63,
                                                        64, 127, 255, 1001, 8191, 8192};
// The shortest attacks overshoot full scale by up to a third; a sample beyond twice full scale
// can only come from a value torn or mixed up between the threads.
constexpr float kLargestPlausibleSample = 2.0f;
// The longest release (5000 ms) in samples, after which a closed gate must be silent.
constexpr std::uint32_t kLongestReleaseSamples = 40000;

std::uint32_t stressSeed() {
    if (const char* text = std::getenv("VIREON_STRESS_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    }
    return std::random_device{}();
}

// Counts the reports; called on the MIDI thread only, read after it has been joined.
class CountingSink : public midi::StatusSink {
  public:
    void reportNoteStatus(std::string_view text) override {
        ++reports;
        if (!text.empty() && text != "On" && text != "Off") {
            ++unexpectedTexts;
        }
    }
    std::uint64_t reports = 0;
    std::uint64_t unexpectedTexts = 0;
};

// What the audio thread saw, for the test to judge once the thread has ended.
struct RenderOutcome {
    std::uint64_t blocks = 0;
    std::uint64_t samples = 0;
    std::uint64_t badSamples = 0;
    float firstBadSample = 0.0f;
    std::uint64_t overruns = 0;  ///< blocks that wrote past their frame count
};

void renderUntil(const std::atomic<bool>& stop, engine::SynthState& state,
                 const engine::AdsrSettings& adsr, std::uint32_t seed, RenderOutcome& outcome) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::uint32_t> anySize(0, kLargestBlock);
    std::uniform_int_distribution<std::size_t> edgeSize(0, kEdgeBlockSizes.size() - 1);
    // Guard samples after the block catch a write past the frame count.
    constexpr float kGuard = 12345.0f;
    std::vector<float> buffer(kLargestBlock + 1);
    // At least one block, however short the run.
    do {
        const std::uint32_t frames =
            random() % 2 == 0 ? kEdgeBlockSizes[edgeSize(random)] : anySize(random);
        buffer[frames] = kGuard;
        engine::renderBlock(state, adsr, buffer.data(), frames);
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float sample = buffer[i];
            if (!std::isfinite(sample) || std::fabs(sample) > kLargestPlausibleSample) {
                if (outcome.badSamples++ == 0) {
                    outcome.firstBadSample = sample;
                }
            }
        }
        if (buffer[frames] != kGuard) {
            ++outcome.overruns;
        }
        ++outcome.blocks;
        outcome.samples += frames;
    } while (!stop.load(std::memory_order_relaxed));
}

// Random short messages, most of them notes on channel 1 (a few with data bytes that are not
// MIDI), now and then a device closing under held notes. Ends with a close, as switching to
// another device or quitting does.
std::uint64_t playUntil(const std::atomic<bool>& stop, midi::MidiNoteHandler& handler,
                        std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> dataByte(0, 127);
    std::uint64_t dataMessages = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        const int roll = kind(random);
        if (roll < 2) {
            handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
            continue;
        }
        if (roll < 3) {
            handler.onMidiMessage(MidiMessageKind::Open, 0, 0);
            continue;
        }
        std::uint8_t status;
        std::uint8_t data1 = static_cast<std::uint8_t>(dataByte(random));
        std::uint8_t data2 = static_cast<std::uint8_t>(dataByte(random));
        if (roll < 50) {
            status = 0x90;
        } else if (roll < 75) {
            status = 0x80;
        } else if (roll < 80) {
            status = 0x90;
            data2 = 0;  // a note-on with velocity 0 is a note-off
        } else if (roll < 85) {
            status = 0x90;
            data1 = static_cast<std::uint8_t>(byte(random) | 0x80);
        } else {
            status = static_cast<std::uint8_t>(byte(random));
        }
        handler.onMidiMessage(MidiMessageKind::Data, midi::packShortMessage(status, data1, data2),
                              static_cast<std::uint32_t>(dataMessages));
        ++dataMessages;
        // Notes arrive far more slowly than samples; let the other threads in now and then.
        if (dataMessages % 64 == 0) {
            std::this_thread::yield();
        }
    }
    handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
    return dataMessages;
}

// Havoc, Bedlam and the four envelope sliders, anywhere within their ranges.
void moveSlidersUntil(const std::atomic<bool>& stop, engine::SynthState& state,
                      engine::AdsrSettings& adsr, std::uint32_t seed) {
    using engine::AdsrSettings;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> position(1, 100);
    std::uniform_int_distribution<std::int32_t> attack(AdsrSettings::kAttackMin,
                                                       AdsrSettings::kAttackMax);
    std::uniform_int_distribution<std::int32_t> decay(AdsrSettings::kDecayMin,
                                                      AdsrSettings::kDecayMax);
    std::uniform_int_distribution<std::int32_t> sustain(AdsrSettings::kSustainMin,
                                                        AdsrSettings::kSustainMax);
    std::uniform_int_distribution<std::int32_t> release(AdsrSettings::kReleaseMin,
                                                        AdsrSettings::kReleaseMax);
    constexpr auto kRelaxed = std::memory_order_relaxed;
    std::uint64_t moves = 0;
    while (!stop.load(kRelaxed)) {
        engine::setHavoc(state, position(random));
        engine::setBedlam(state, position(random));
        adsr.attack.store(attack(random), kRelaxed);
        adsr.decay.store(decay(random), kRelaxed);
        adsr.sustain.store(sustain(random), kRelaxed);
        adsr.release.store(release(random), kRelaxed);
        if (++moves % 16 == 0) {
            std::this_thread::yield();
        }
    }
}

TEST(ThreadStress, AudioMidiAndSlidersTogetherStayFiniteAndEndSilent) {
    const std::uint32_t seed = stressSeed();
    const std::chrono::duration<double> duration = testsupport::stressDuration();
    RecordProperty("seed", std::to_string(seed));
    SCOPED_TRACE("VIREON_STRESS_SEED=" + std::to_string(seed));

    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    CountingSink sink;
    handler.connectStatusSink(&sink);

    std::atomic<bool> stopAudio{false};
    std::atomic<bool> stopOthers{false};
    RenderOutcome rendered;
    std::uint64_t dataMessages = 0;
    std::thread audio(renderUntil, std::cref(stopAudio), std::ref(state), std::cref(adsr), seed,
                      std::ref(rendered));
    std::thread midiThread([&] { dataMessages = playUntil(stopOthers, handler, seed + 1); });
    std::thread ui(moveSlidersUntil, std::cref(stopOthers), std::ref(state), std::ref(adsr),
                   seed + 2);

    std::this_thread::sleep_for(duration);
    // The MIDI thread's last word is a close, which arrives while audio still runs.
    stopOthers = true;
    midiThread.join();
    ui.join();
    stopAudio = true;
    audio.join();

    EXPECT_EQ(rendered.badSamples, 0u)
        << "first bad sample " << rendered.firstBadSample << " in " << rendered.samples;
    EXPECT_EQ(rendered.overruns, 0u) << "blocks written past their end";
    EXPECT_GT(rendered.blocks, 0u);
    EXPECT_EQ(sink.reports, dataMessages) << "every data message reports the note status";
    EXPECT_EQ(sink.unexpectedTexts, 0u);

    // The final close leaves no note held, and the release runs out to silence.
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(handler.noteText(), "Off");
    std::vector<float> tail(kLongestReleaseSamples + 1000);
    engine::renderBlock(state, adsr, tail.data(), static_cast<std::uint32_t>(tail.size()));
    for (std::size_t i = kLongestReleaseSamples; i < tail.size(); ++i) {
        ASSERT_EQ(tail[i], 0.0f) << "sample " << i << " after the final close";
    }
}

// Sources playing at once: two MIDI systems' threads and the on-screen keyboard each hold and
// release notes of their own. Each message reads the note count and writes it back, so unless
// the handler takes them one at a time a note-on or note-off now and then gets lost, and the
// count no longer comes back to zero when every key is up.
TEST(ThreadStress, SourcesPlayingAtOnceLeaveNoNoteHeld) {
    const std::uint32_t seed = stressSeed();
    SCOPED_TRACE("VIREON_STRESS_SEED=" + std::to_string(seed));
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    struct ThreadSafeSink : midi::StatusSink {
        void reportNoteStatus(std::string_view) override { reports.fetch_add(1); }
        std::atomic<std::uint64_t> reports{0};
    } sink;
    handler.connectStatusSink(&sink);

    std::atomic<bool> stopAudio{false};
    std::atomic<bool> stopSources{false};
    RenderOutcome rendered;
    std::thread audio(renderUntil, std::cref(stopAudio), std::ref(state), std::cref(adsr), seed,
                      std::ref(rendered));
    constexpr int kSources = 3;
    std::array<std::uint64_t, kSources> sent{};
    std::vector<std::thread> sources;
    for (int source = 0; source < kSources; ++source) {
        sources.emplace_back([&, source] {
            std::mt19937 random(seed + 1 + static_cast<std::uint32_t>(source));
            std::uniform_int_distribution<int> note(0, 127);
            // Up to two keys down at a time, like a hand playing legato.
            std::vector<std::uint8_t> held;
            auto send = [&](std::uint8_t status, std::uint8_t key) {
                handler.onMidiMessage(MidiMessageKind::Data,
                                      midi::packShortMessage(status, key, 100), 0);
                ++sent[static_cast<std::size_t>(source)];
            };
            while (!stopSources.load(std::memory_order_relaxed)) {
                if (held.size() < 2 && random() % 2 == 0) {
                    held.push_back(static_cast<std::uint8_t>(note(random)));
                    send(0x90, held.back());
                } else if (!held.empty()) {
                    send(0x80, held.front());
                    held.erase(held.begin());
                }
            }
            for (const std::uint8_t key : held) {
                send(0x80, key);
            }
        });
    }
    std::this_thread::sleep_for(testsupport::stressDuration());
    stopSources = true;
    std::uint64_t total = 0;
    for (int source = 0; source < kSources; ++source) {
        sources[static_cast<std::size_t>(source)].join();
        total += sent[static_cast<std::size_t>(source)];
    }
    stopAudio = true;
    audio.join();

    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(handler.noteText(), "Off");
    EXPECT_EQ(sink.reports.load(), total) << "every message reports the note status once";
    EXPECT_EQ(rendered.badSamples, 0u);
}

}  // namespace
}  // namespace vireon
