// Throughput of renderBlock with a note held at the start-up settings, beside a baseline that
// does only the work no implementation can avoid per sample: two sines and one remainder over
// the same phases the engine produces. The program prints the ratio of the two.

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/AdsrSettings.h"
#include "engine/Constants.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"

namespace {

using namespace vireon;

constexpr std::uint32_t kBlockFrames = 256;
constexpr int kPhrasesSamples = 8000;

// A note held past its fade and attack, so the measured blocks are the steady sustained state.
void startHeldNote(engine::SynthState& state, const engine::AdsrSettings& adsr) {
    midi::MidiNoteHandler handler(state);
    handler.onMidiMessage(midi::MidiMessageKind::Data, midi::packShortMessage(0x90, 69, 100), 0);
    std::vector<float> warmUp(2048);
    engine::renderBlock(state, adsr, warmUp.data(), static_cast<std::uint32_t>(warmUp.size()));
}

void renderHeldNote(benchmark::State& bench) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    startHeldNote(state, adsr);
    std::vector<float> block(kBlockFrames);
    for (auto _ : bench) {
        engine::renderBlock(state, adsr, block.data(), kBlockFrames);
        benchmark::DoNotOptimize(block.data());
        // Keep the phase in the range a one-second note reaches, as a musician would play it.
        if (state.sampleCounter.load() > kPhrasesSamples) {
            state.phase = -1.0f;
            state.sampleCounter = 0;
        }
    }
    bench.SetItemsProcessed(bench.iterations() * kBlockFrames);
}

// The phases the engine actually visits during one second of a held note: the circle-map
// intermediate and the final phase of every sample.
struct PhaseSequence {
    std::vector<double> afterCircleMap;
    std::vector<double> final;
};

PhaseSequence recordPhases() {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    startHeldNote(state, adsr);
    state.phase = -1.0f;
    PhaseSequence phases;
    float sample;
    for (int i = 0; i < kPhrasesSamples; ++i) {
        const double before = state.phase.load();
        engine::renderBlock(state, adsr, &sample, 1);
        phases.afterCircleMap.push_back(before + state.omega.load());
        phases.final.push_back(state.phase.load());
    }
    return phases;
}

void unavoidableWork(benchmark::State& bench) {
    const PhaseSequence phases = recordPhases();
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

// Prints the usual table and remembers each benchmark's CPU time per iteration: CPU time is
// steadier than wall time on a shared machine.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                secondsPerIteration[run.benchmark_name()] =
                    run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
    }
    std::map<std::string, double> secondsPerIteration;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto render = reporter.secondsPerIteration.find("renderHeldNote");
    const auto baseline = reporter.secondsPerIteration.find("unavoidableWork");
    if (render != reporter.secondsPerIteration.end() &&
        baseline != reporter.secondsPerIteration.end()) {
        std::printf("renderBlock: %.0f samples per second (%.1f times real time at 8000 Hz)\n",
                    kBlockFrames / render->second, kBlockFrames / render->second / 8000.0);
        std::printf("renderBlock / unavoidable work: %.2f\n", render->second / baseline->second);
    }
    benchmark::Shutdown();
    return 0;
}
