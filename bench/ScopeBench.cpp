// SPDX-License-Identifier: GPL-3.0-or-later
// What the live scope costs. On the audio thread: copying each block into the scope's ring,
// against rendering the same samples. On the UI thread: one repaint (taking the samples and
// drawing the trace), against rendering the audio of one repaint interval; the program also
// prints the share of one core the scope takes at its 30 repaints a second.

#include <QApplication>
#include <QImage>
#include <array>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "live/ScopeTap.h"
#include "bench/RatioReporter.h"
#include "engine/AdsrSettings.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "ui/ScopeView.h"

namespace {

using namespace vireon;

constexpr std::uint32_t kRate = 8000;
constexpr double kRepaintsPerSecond = 1000.0 / ui::ScopeView::kRepaintMilliseconds;
// The samples played between two repaints, as one block.
constexpr std::uint32_t kFramesPerRepaint = 8000 * ui::ScopeView::kRepaintMilliseconds / 1000;

struct HeldNote {
    HeldNote() {
        handler.onMidiMessage(midi::MidiMessageKind::Data, midi::packShortMessage(0x90, 48, 100),
                              0);
        std::array<float, kRate> settle{};
        engine::renderBlock(state, adsr, settle.data(), kRate);
    }
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler handler{state};
    std::array<float, kFramesPerRepaint> block{};
};

void renderOneRepaintInterval(benchmark::State& bench) {
    HeldNote note;
    for (auto _ : bench) {
        engine::renderBlock(note.state, note.adsr, note.block.data(), kFramesPerRepaint);
        benchmark::DoNotOptimize(note.block.data());
    }
}
BENCHMARK(renderOneRepaintInterval);

// The callback's extra work while the scope shows; the pop keeps the ring from filling.
void copyIntoTheScopeRing(benchmark::State& bench) {
    HeldNote note;
    live::ScopeTap tap;
    std::array<float, kFramesPerRepaint> out{};
    engine::renderBlock(note.state, note.adsr, note.block.data(), kFramesPerRepaint);
    for (auto _ : bench) {
        tap.ring.push(note.block.data(), note.block.size());
        bench.PauseTiming();
        tap.ring.pop(out.data(), out.size());
        bench.ResumeTiming();
    }
}
BENCHMARK(copyIntoTheScopeRing);

void scopeRepaint(benchmark::State& bench) {
    HeldNote note;
    live::ScopeTap tap;
    tap.rate.store(kRate);
    ui::ScopeView view(tap, [](live::ScopeTap*) {});
    view.resize(360, 130);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : bench) {
        bench.PauseTiming();
        engine::renderBlock(note.state, note.adsr, note.block.data(), kFramesPerRepaint);
        tap.ring.push(note.block.data(), note.block.size());
        bench.ResumeTiming();
        view.refresh();
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(scopeRepaint);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double* render = reporter.seconds("renderOneRepaintInterval");
    const double* copy = reporter.seconds("copyIntoTheScopeRing");
    const double* repaint = reporter.seconds("scopeRepaint");
    if (render != nullptr && copy != nullptr) {
        std::printf("audio callback: the scope's copy / rendering the same samples: %.3f\n",
                    *copy / *render);
    }
    if (render != nullptr && repaint != nullptr) {
        std::printf(
            "scope repaint / rendering its %u samples: %.1f; %.2f%% of one core at %.0f "
            "repaints a second\n",
            kFramesPerRepaint, *repaint / *render, *repaint * kRepaintsPerSecond * 100.0,
            kRepaintsPerSecond);
    }
    benchmark::Shutdown();
    return 0;
}
