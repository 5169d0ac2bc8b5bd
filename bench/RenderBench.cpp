// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of renderBlock with a note held at the start-up settings, beside a baseline that
// does only the work no implementation can avoid per sample: two sines of the C library and one
// remainder over the same phases the engine produces. The program prints the ratio of the two,
// and beside it the ratio of the same engine built with the C library's sine (as it was before
// its sine became correctly rounded; LibmSineEngine.cpp).

#include <cmath>
#include <cstdio>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/HeldNote.h"
#include "bench/RatioReporter.h"
#include "engine/AdsrSettings.h"
#include "engine/Constants.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"

namespace {

using namespace vireon;

using bench::kBlockFrames;
using bench::kPhraseSamples;

void renderHeldNote(benchmark::State& run) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    bench::renderHeldNote(run, state, adsr, handler);
}

void unavoidableWork(benchmark::State& bench) {
    const bench::PhaseSequence phases = bench::recordPhases();
    const double twoPi = engine::kTwoPi;
    const double s = engine::kDefaultDisorder;
    std::vector<float> block(kBlockFrames);
    std::size_t index = 0;
    for (auto _ : bench) {
        for (std::uint32_t i = 0; i < kBlockFrames; ++i, ++index) {
            if (index == phases.final.size()) {
                index = 0;
            }
            const double circle = std::sin(phases.afterCircleMap[index] * twoPi);
            const double remainder = std::fmod(s * phases.final[index], 1.0);
            const double sample = std::sin(phases.final[index] * twoPi);
            block[i] = static_cast<float>(sample + remainder + circle);
        }
        benchmark::DoNotOptimize(block.data());
    }
    bench.SetItemsProcessed(bench.iterations() * kBlockFrames);
}

BENCHMARK(renderHeldNote);
BENCHMARK(unavoidableWork);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& seconds = reporter.secondsPerIteration;
    const auto render = seconds.find("renderHeldNote");
    const auto baseline = seconds.find("unavoidableWork");
    const auto libm = seconds.find("renderHeldNoteWithLibmSine");
    if (render != seconds.end() && baseline != seconds.end()) {
        std::printf("renderBlock: %.0f samples per second (%.1f times real time at 8000 Hz)\n",
                    kBlockFrames / render->second, kBlockFrames / render->second / 8000.0);
        std::printf("renderBlock / unavoidable work: %.2f", render->second / baseline->second);
        if (libm != seconds.end()) {
            std::printf(" (with the C library's sine: %.2f)", libm->second / baseline->second);
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
