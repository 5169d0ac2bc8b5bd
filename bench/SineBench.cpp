// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's correctly rounded sine against the C library's, over two sets of arguments: those
// the oscillator passes during one second of a held note (its phase grows by about two cycles a
// sample, so these reach some 10^4 cycles), and phases spread evenly over one cycle. The program
// prints the two ratios.

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/HeldNote.h"
#include "bench/RatioReporter.h"
#include "engine/Constants.h"
#include "exactmath/Sine.h"

namespace {

using namespace vireon;

// The oscillator's argument: a single-precision phase times the single-precision 2 pi.
double oscillatorArgument(double phase) {
    return static_cast<double>(static_cast<float>(phase)) * static_cast<double>(engine::kTwoPi);
}

std::vector<double> heldNoteArguments() {
    std::vector<double> arguments;
    for (const double phase : bench::recordPhases().final) {
        arguments.push_back(oscillatorArgument(phase));
    }
    return arguments;
}

std::vector<double> oneCycleArguments() {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> phases(0.0f, 1.0f);
    std::vector<double> arguments(bench::kPhraseSamples);
    for (double& x : arguments) {
        x = oscillatorArgument(phases(random));
    }
    return arguments;
}

// Sums the sines so that neither the calls nor the loop can be left out.
template <typename Sine>
void sineOver(benchmark::State& bench, const std::vector<double>& arguments, Sine sine) {
    for (auto _ : bench) {
        double sum = 0.0;
        for (const double x : arguments) {
            sum += sine(x);
        }
        benchmark::DoNotOptimize(sum);
    }
    bench.SetItemsProcessed(bench.iterations() * static_cast<std::int64_t>(arguments.size()));
}

// The arguments are made on first use: the engine's tables are set up by static constructors,
// whose order across files is unspecified.
void engineHeldNote(benchmark::State& bench) {
    static const std::vector<double> arguments = heldNoteArguments();
    sineOver(bench, arguments, [](double x) { return exactmath::sine(x); });
}

void libmHeldNote(benchmark::State& bench) {
    static const std::vector<double> arguments = heldNoteArguments();
    sineOver(bench, arguments, [](double x) { return std::sin(x); });
}

void engineOneCycle(benchmark::State& bench) {
    static const std::vector<double> arguments = oneCycleArguments();
    sineOver(bench, arguments, [](double x) { return exactmath::sine(x); });
}

void libmOneCycle(benchmark::State& bench) {
    static const std::vector<double> arguments = oneCycleArguments();
    sineOver(bench, arguments, [](double x) { return std::sin(x); });
}

// A few repetitions each; the ratios use the fastest (RatioReporter.h).
constexpr int kRepetitions = 5;
BENCHMARK(engineHeldNote)->Repetitions(kRepetitions);
BENCHMARK(libmHeldNote)->Repetitions(kRepetitions);
BENCHMARK(engineOneCycle)->Repetitions(kRepetitions);
BENCHMARK(libmOneCycle)->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto printRatio = [&](const char* label, const char* engine, const char* libm) {
        const double* ours = reporter.seconds(engine);
        const double* theirs = reporter.seconds(libm);
        if (ours != nullptr && theirs != nullptr) {
            std::printf("sine / C library's sine, %s: %.2f\n", label, *ours / *theirs);
        }
    };
    printRatio("held note", "engineHeldNote", "libmHeldNote");
    printRatio("phases over one cycle", "engineOneCycle", "libmOneCycle");
    benchmark::Shutdown();
    return 0;
}
