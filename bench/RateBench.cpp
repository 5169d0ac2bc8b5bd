// SPDX-License-Identifier: GPL-3.0-or-later
// What carrying the 8000 Hz engine to a device's rate costs, measured against the engine alone
// in the same run: one second of output at 44100, 48000 and 96000 Hz against one second of
// renderBlock at 8000 Hz, printed as ratios. Before the benchmarks it prints two figures that
// need no timing: how much later a note sounds through the converter, and the peaks that the
// conversion reveals over a sweep of random settings, with and without the headroom gain.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/RatioReporter.h"
#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"

namespace {

using namespace vireon;

// A JACK period: the block size the converted path sees most.
constexpr std::uint32_t kBlockFrames = 256;
constexpr std::uint32_t kEngineRate = 8000;

void noteOn(engine::SynthState& state, int key) {
    midi::MidiNoteHandler(state).onMidiMessage(midi::MidiMessageKind::Data,
                                               midi::packShortMessage(0x90, key, 100), 0);
}

// One second of output at `rate`, in blocks of a JACK period, with a note held at the start-up
// settings; rate 8000 is the engine alone (the renderer then calls renderBlock directly).
void oneSecond(benchmark::State& bench, std::uint32_t rate) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    noteOn(state, 69);
    rate::RateRenderer renderer(state, adsr, rate);
    std::vector<float> block(kBlockFrames);
    // Past the fade and the attack, into the sustained note.
    for (int i = 0; i < 100; ++i) {
        renderer.render(block.data(), kBlockFrames);
    }
    for (auto _ : bench) {
        for (std::uint32_t done = 0; done < rate; done += kBlockFrames) {
            renderer.render(block.data(), std::min(kBlockFrames, rate - done));
            benchmark::DoNotOptimize(block.data());
        }
        // Keep the phase in the range a one-second note reaches, as a musician would play it.
        state.phase = -1.0f;
        state.sampleCounter = 0;
    }
}

void engineAlone(benchmark::State& bench) {
    // The same work without the renderer around it: renderBlock itself.
    engine::SynthState state;
    engine::AdsrSettings adsr;
    noteOn(state, 69);
    std::vector<float> block(kBlockFrames);
    for (int i = 0; i < 100; ++i) {
        engine::renderBlock(state, adsr, block.data(), kBlockFrames);
    }
    for (auto _ : bench) {
        for (std::uint32_t done = 0; done < kEngineRate; done += kBlockFrames) {
            engine::renderBlock(state, adsr, block.data(),
                                std::min(kBlockFrames, kEngineRate - done));
            benchmark::DoNotOptimize(block.data());
        }
        state.phase = -1.0f;
        state.sampleCounter = 0;
    }
}

BENCHMARK(engineAlone)->Name("second at 8000 (renderBlock)");
BENCHMARK_CAPTURE(oneSecond, 44100, 44100u)->Name("second at 44100");
BENCHMARK_CAPTURE(oneSecond, 48000, 48000u)->Name("second at 48000");
BENCHMARK_CAPTURE(oneSecond, 96000, 96000u)->Name("second at 96000");

// Seconds from a note-on, given between two blocks as the live program's MIDI thread gives it,
// to the first output above a hundredth of the note's level.
double noteOnToSound(std::uint32_t rate) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    rate::RateRenderer renderer(state, adsr, rate);
    std::vector<float> out(rate);
    const std::uint32_t noteAt = rate / 10;
    renderer.render(out.data(), noteAt);
    noteOn(state, 69);
    renderer.render(out.data() + noteAt, rate - noteAt);
    const float level = renderer.converts() ? rate::kHeadroomGain : 1.0f;
    const auto sound = std::find_if(out.begin() + noteAt, out.end(),
                                    [&](float x) { return std::fabs(x) > 0.01f * level; });
    return static_cast<double>(sound - out.begin() - noteAt) / rate;
}

void printLatency() {
    const double atEngineRate = noteOnToSound(kEngineRate);
    engine::SynthState state;
    engine::AdsrSettings adsr;
    for (std::uint32_t rate : {44100u, 48000u, 96000u}) {
        const std::uint32_t latency = rate::RateRenderer(state, adsr, rate).latencyFrames();
        std::printf(
            "note-on to sound at %u Hz: %.2f ms, %.2f ms more than at 8000 Hz; "
            "converter latency %u frames (%.2f ms)\n",
            rate, noteOnToSound(rate) * 1e3, (noteOnToSound(rate) - atEngineRate) * 1e3, latency,
            latency * 1e3 / rate);
    }
}

// Random settings, one note held for a second and released, at 48000 Hz: the peaks of the
// converted stream before and after the headroom gain.
void printHeadroomSweep(int settings) {
    std::mt19937 random(2026);
    std::vector<double> peaks;
    std::uint64_t total = 0, overUnscaled = 0, overScaled = 0;
    std::vector<float> out(2 * 48000);
    for (int i = 0; i < settings; ++i) {
        engine::SynthState state;
        engine::AdsrSettings adsr;
        engine::setHavoc(state, 1 + static_cast<int>(random() % 100));
        engine::setBedlam(state, 1 + static_cast<int>(random() % 100));
        engine::setDisorder(state, 1 + static_cast<int>(random() % 50));
        adsr.attack = 1 + static_cast<int>(random() % 2000);
        adsr.decay = 1 + static_cast<int>(random() % 5000);
        adsr.sustain = static_cast<int>(random() % 101);
        adsr.release = 1 + static_cast<int>(random() % 5000);
        rate::RateRenderer renderer(state, adsr, 48000);
        midi::MidiNoteHandler handler(state);
        handler.onMidiMessage(midi::MidiMessageKind::Data,
                              midi::packShortMessage(0x90, 24 + random() % 84, 100), 0);
        renderer.render(out.data(), 48000);
        renderer.alignForEvent();
        handler.onMidiMessage(midi::MidiMessageKind::Data, midi::packShortMessage(0x80, 0, 0), 0);
        renderer.render(out.data() + 48000, 48000);
        double peak = 0.0;
        for (const float sample : out) {
            const double scaled = std::fabs(sample);
            const double unscaled = scaled / rate::kHeadroomGain;
            peak = std::max(peak, unscaled);
            overUnscaled += unscaled > 1.0;
            overScaled += scaled > 1.0;
        }
        total += out.size();
        peaks.push_back(peak);
    }
    std::sort(peaks.begin(), peaks.end());
    std::printf(
        "headroom sweep, %d random settings at 48000 Hz, %llu samples: without the gain "
        "peak %.3f (median %.3f, 99th percentile %.3f), %.3f%% of samples above 1.0; "
        "with the gain %.2f: peak %.3f, %llu samples above 1.0\n",
        settings, static_cast<unsigned long long>(total), peaks.back(), peaks[peaks.size() / 2],
        peaks[peaks.size() * 99 / 100], 100.0 * overUnscaled / total, rate::kHeadroomGain,
        peaks.back() * rate::kHeadroomGain, static_cast<unsigned long long>(overScaled));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    printLatency();
    printHeadroomSweep(1000);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (const double* engine = reporter.seconds("second at 8000 (renderBlock)")) {
        for (const char* rate : {"44100", "48000", "96000"}) {
            if (const double* converted = reporter.seconds(std::string("second at ") + rate)) {
                std::printf("one second at %s Hz / one second of renderBlock: %.2f\n", rate,
                            *converted / *engine);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
