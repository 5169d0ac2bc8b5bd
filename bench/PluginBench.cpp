// SPDX-License-Identifier: GPL-3.0-or-later
// What the LV2 instrument costs at a host's usual 48 kHz, against the engine alone at its own
// 8000 Hz: one second of each, the same notes played in both. The program prints the ratio.

#include <cstdint>
#include <cstdio>
#include <vector>

#include <benchmark/benchmark.h>
#include <lv2/core/lv2.h>

#include "bench/HeldNote.h"
#include "bench/RatioReporter.h"
#include "engine/AdsrSettings.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "tests/support/Lv2Buffers.h"

extern "C" const LV2_Descriptor* lv2_descriptor(std::uint32_t index);

namespace {

using namespace vireon;

using bench::kBlockFrames;
constexpr std::uint32_t kEngineRate = 8000;
constexpr std::uint32_t kHostRate = 48000;
// Both play a note that is let go and struck again every second, so they do the same engine
// work: fades, attacks and sustain in a musician's proportions, and phases in the range a
// one-second note reaches.
constexpr std::uint8_t kNoteOn[] = {0x90, 69, 100};
constexpr std::uint8_t kNoteOff[] = {0x80, 69, 0};

void engineAlone(benchmark::State& bench) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    std::vector<float> block(kBlockFrames);
    std::uint32_t sinceNote = kEngineRate;
    for (auto _ : bench) {
        if (sinceNote >= kEngineRate) {
            handler.onMidiMessage(midi::MidiMessageKind::Data,
                                  midi::packShortMessage(kNoteOff[0], kNoteOff[1], kNoteOff[2]), 0);
            handler.onMidiMessage(midi::MidiMessageKind::Data,
                                  midi::packShortMessage(kNoteOn[0], kNoteOn[1], kNoteOn[2]), 0);
            sinceNote = 0;
        }
        engine::renderBlock(state, adsr, block.data(), kBlockFrames);
        benchmark::DoNotOptimize(block.data());
        sinceNote += kBlockFrames;
    }
    bench.SetItemsProcessed(bench.iterations() * kBlockFrames);
}

void pluginAt48kHz(benchmark::State& bench) {
    testsupport::UridMap urids;
    testsupport::MidiEventSequence midi(urids);
    std::vector<float> block(kBlockFrames);
    float latency = 0.0f;
    float controls[] = {45, 30, 1, 1000, 50, 1500, 10};
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    const LV2_Feature* features[] = {urids.feature(), nullptr};
    LV2_Handle plugin = descriptor->instantiate(descriptor, kHostRate, "", features);
    if (plugin == nullptr) {
        bench.SkipWithError("the plugin refused 48000 Hz");
        return;
    }
    descriptor->connect_port(plugin, 0, midi.sequence());
    descriptor->connect_port(plugin, 1, block.data());
    descriptor->connect_port(plugin, 2, &latency);
    for (std::uint32_t i = 0; i < std::size(controls); ++i) {
        descriptor->connect_port(plugin, 3 + i, &controls[i]);
    }
    descriptor->activate(plugin);
    std::uint32_t sinceNote = kHostRate;
    for (auto _ : bench) {
        if (sinceNote >= kHostRate) {
            midi.append(0, kNoteOff);
            midi.append(0, kNoteOn);
            sinceNote = 0;
        }
        descriptor->run(plugin, kBlockFrames);
        midi.clear();
        benchmark::DoNotOptimize(block.data());
        sinceNote += kBlockFrames;
    }
    bench.SetItemsProcessed(bench.iterations() * kBlockFrames);
    descriptor->cleanup(plugin);
}

BENCHMARK(engineAlone);
BENCHMARK(pluginAt48kHz);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double* engineBlock = reporter.seconds("engineAlone");
    const double* pluginBlock = reporter.seconds("pluginAt48kHz");
    if (engineBlock != nullptr && pluginBlock != nullptr) {
        // Each iteration is one block; a second takes rate / block iterations.
        const double engineSecond = *engineBlock * kEngineRate / kBlockFrames;
        const double pluginSecond = *pluginBlock * kHostRate / kBlockFrames;
        std::printf("one second at 48 kHz through the plugin: %.3f ms of CPU\n",
                    1e3 * pluginSecond);
        std::printf("one second of renderBlock at 8000 Hz: %.3f ms of CPU\n", 1e3 * engineSecond);
        std::printf("plugin at 48 kHz / renderBlock at 8000 Hz: %.2f\n",
                    pluginSecond / engineSecond);
    }
    benchmark::Shutdown();
    return 0;
}
