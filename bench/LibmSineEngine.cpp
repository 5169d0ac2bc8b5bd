// SPDX-License-Identifier: GPL-3.0-or-later
// The engine as it was before it had a sine of its own: this file and the engine's sources are
// compiled a second time for the benchmark, with the namespace renamed (vireon -> vireon_libm,
// see CMakeLists.txt) and sine() forwarding to the C library's. The render benchmark measures
// it beside the real engine, so today's ratio and the earlier one come from the same run.

#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/HeldNote.h"
#include "engine/AdsrSettings.h"
#include "engine/RenderBlock.h"
#include "exactmath/Sine.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"

namespace vireon::exactmath {

double sine(double x) {
    return std::sin(x);
}

}  // namespace vireon::exactmath

namespace {

void renderHeldNoteWithLibmSine(benchmark::State& run) {
    using namespace vireon;
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    bench::renderHeldNote(run, state, adsr, handler);
}

}  // namespace

BENCHMARK(renderHeldNoteWithLibmSine);
