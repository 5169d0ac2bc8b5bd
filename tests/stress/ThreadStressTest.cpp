// SPDX-License-Identifier: GPL-3.0-or-later
// The threads of the running program, driven at full speed against one live instrument: the
// audio thread renders blocks of every awkward size, MIDI threads play random messages and
// close the device now and then, and the user-interface thread keeps moving the sliders. Every
// source only hands events over; the audio thread alone plays them.
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
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "controls/Controls.h"
#include "live/LiveInstrument.h"
#include "midi/MidiMessage.h"
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

// What the audio thread saw, for the test to judge once the thread has ended.
struct RenderOutcome {
    std::uint64_t blocks = 0;
    std::uint64_t samples = 0;
    std::uint64_t badSamples = 0;
    float firstBadSample = 0.0f;
    std::uint64_t overruns = 0;  ///< blocks that wrote past their frame count
};

// Blocks rendered so far, for sources that keep pace with the audio thread as a player does.
std::atomic<std::uint64_t> blocksRendered{0};
// A source sends at most this many events per block: together the sources stay well within
// the queue, so nothing may be dropped.
constexpr std::uint64_t kEventsPerBlock = 64;

// Waits, after every kEventsPerBlock events, for the audio thread to render a block.
void keepPace(std::uint64_t sent, const std::atomic<bool>& stop) {
    if (sent % kEventsPerBlock != 0) {
        return;
    }
    const std::uint64_t due = blocksRendered.load() + 1;
    while (blocksRendered.load() < due && !stop.load(std::memory_order_relaxed)) {
        std::this_thread::yield();
    }
}

void renderUntil(const std::atomic<bool>& stop, live::LiveInstrument& instrument,
                 std::uint32_t seed, RenderOutcome& outcome) {
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
        instrument.render(buffer.data(), frames);
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
        blocksRendered.fetch_add(1);
        outcome.samples += frames;
    } while (!stop.load(std::memory_order_relaxed));
}

// Random short messages, most of them notes on channel 1 (a few with data bytes that are not
// MIDI), now and then a device closing under held notes. Ends with a close, as switching to
// another device or quitting does.
std::uint64_t playUntil(const std::atomic<bool>& stop, live::LiveInstrument& instrument,
                        std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> dataByte(0, 127);
    std::uint64_t dataMessages = 0;
    std::uint64_t sent = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        keepPace(++sent, stop);
        const int roll = kind(random);
        if (roll < 2) {
            instrument.onMidiMessage(MidiMessageKind::Close, 0, 0);
            continue;
        }
        if (roll < 3) {
            instrument.onMidiMessage(MidiMessageKind::Open, 0, 0);
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
        instrument.onMidiMessage(MidiMessageKind::Data,
                                 midi::packShortMessage(status, data1, data2),
                                 static_cast<std::uint32_t>(dataMessages));
        ++dataMessages;
    }
    instrument.onMidiMessage(MidiMessageKind::Close, 0, 0);
    return dataMessages;
}

// Every control, anywhere within its range (and a little beyond, which it must hold off).
void moveSlidersUntil(const std::atomic<bool>& stop, live::LiveInstrument& instrument,
                      std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uint64_t moves = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        keepPace(++moves, stop);
        const auto id = static_cast<controls::ControlId>(random() % controls::kControlCount);
        const controls::Control& control = controls::control(id);
        std::uniform_int_distribution<int> position(control.min - 1, control.max + 1);
        instrument.moveControl(id, position(random));
    }
}

TEST(ThreadStress, AudioMidiAndSlidersTogetherStayFiniteAndEndSilent) {
    const std::uint32_t seed = stressSeed();
    const std::chrono::duration<double> duration = testsupport::stressDuration();
    RecordProperty("seed", std::to_string(seed));
    SCOPED_TRACE("VIREON_STRESS_SEED=" + std::to_string(seed));

    live::LiveInstrument instrument;
    std::atomic<bool> stopAudio{false};
    std::atomic<bool> stopOthers{false};
    RenderOutcome rendered;
    std::uint64_t dataMessages = 0;
    std::thread audio(renderUntil, std::cref(stopAudio), std::ref(instrument), seed,
                      std::ref(rendered));
    std::thread midiThread([&] { dataMessages = playUntil(stopOthers, instrument, seed + 1); });
    std::thread ui(moveSlidersUntil, std::cref(stopOthers), std::ref(instrument), seed + 2);

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

    // Whatever the audio thread had not applied yet is applied with the tail: once the events'
    // delay has passed, all at its start. The final close leaves no note held, and the release
    // runs out to silence.
    std::this_thread::sleep_for(std::chrono::nanoseconds(instrument.eventDelay()));
    std::vector<float> tail(kLongestReleaseSamples + 1000);
    instrument.render(tail.data(), static_cast<std::uint32_t>(tail.size()));
    EXPECT_EQ(instrument.droppedEvents(), 0u);
    EXPECT_EQ(instrument.noteStatus().reports, dataMessages)
        << "every data message reports the note status";
    const engine::SynthState& state = instrument.instrument().state();
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(state.noteCount.load(), 0);
    for (std::size_t i = kLongestReleaseSamples; i < tail.size(); ++i) {
        ASSERT_EQ(tail[i], 0.0f) << "sample " << i << " after the final close";
    }
}

// Sources playing at once: two MIDI systems' threads and the on-screen keyboard each hold and
// release notes of their own. Each message reads the note count and writes it back, so unless
// every message reaches the audio thread, once and in its source's order, a note-on or
// note-off gets lost and the count no longer comes back to zero when every key is up.
TEST(ThreadStress, SourcesPlayingAtOnceLeaveNoNoteHeld) {
    const std::uint32_t seed = stressSeed();
    SCOPED_TRACE("VIREON_STRESS_SEED=" + std::to_string(seed));
    live::LiveInstrument instrument;
    std::atomic<bool> stopAudio{false};
    std::atomic<bool> stopSources{false};
    RenderOutcome rendered;
    std::thread audio(renderUntil, std::cref(stopAudio), std::ref(instrument), seed,
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
                instrument.playMessage(midi::packShortMessage(status, key, 100));
                keepPace(++sent[static_cast<std::size_t>(source)], stopSources);
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
    instrument.applyPending();

    const engine::SynthState& state = instrument.instrument().state();
    EXPECT_EQ(state.noteCount.load(), 0);
    EXPECT_EQ(state.gate.load(), 0);
    EXPECT_EQ(instrument.droppedEvents(), 0u);
    EXPECT_EQ(instrument.noteStatus().text, "Off");
    EXPECT_EQ(instrument.noteStatus().reports, total) << "every message reports once";
    EXPECT_EQ(rendered.badSamples, 0u);
}

}  // namespace
}  // namespace vireon
