// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/AdsrSettings.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"

namespace vireon::bench {

inline constexpr std::uint32_t kBlockFrames = 256;
inline constexpr int kPhraseSamples = 8000;

/// A note held past its fade and attack, so the measured blocks are the steady sustained state.
inline void startHeldNote(engine::SynthState& state, const engine::AdsrSettings& adsr,
                          midi::MidiNoteHandler& handler) {
    handler.onMidiMessage(midi::MidiMessageKind::Data, midi::packShortMessage(0x90, 69, 100), 0);
    std::vector<float> warmUp(2048);
    engine::renderBlock(state, adsr, warmUp.data(), static_cast<std::uint32_t>(warmUp.size()));
}

/// The phases the engine actually visits during one second of a held note: the circle-map
/// intermediate and the final phase of every sample. Each final phase is also the next sample's
/// old phase, so the oscillator's sine sees every one of them twice, times 2 pi.
struct PhaseSequence {
    std::vector<double> afterCircleMap;
    std::vector<double> final;
};

inline PhaseSequence recordPhases() {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler(state);
    startHeldNote(state, adsr, handler);
    state.phase = -1.0f;
    PhaseSequence phases;
    float sample;
    for (int i = 0; i < kPhraseSamples; ++i) {
        const double before = state.phase.load();
        engine::renderBlock(state, adsr, &sample, 1);
        phases.afterCircleMap.push_back(before + state.omega.load());
        phases.final.push_back(state.phase.load());
    }
    return phases;
}

/// Renders blocks of the held note for as long as the benchmark runs.
inline void renderHeldNote(benchmark::State& bench, engine::SynthState& state,
                           const engine::AdsrSettings& adsr, midi::MidiNoteHandler& handler) {
    startHeldNote(state, adsr, handler);
    std::vector<float> block(kBlockFrames);
    for (auto _ : bench) {
        engine::renderBlock(state, adsr, block.data(), kBlockFrames);
        benchmark::DoNotOptimize(block.data());
        // Keep the phase in the range a one-second note reaches, as a musician would play it.
        if (state.sampleCounter.load() > kPhraseSamples) {
            state.phase = -1.0f;
            state.sampleCounter = 0;
        }
    }
    bench.SetItemsProcessed(bench.iterations() * kBlockFrames);
}

}  // namespace vireon::bench
