// SPDX-License-Identifier: GPL-3.0-or-later
// Vireon's converter against zita-resampler (half length 32, what Vireon used before), side by
// side at 44100, 48000 and 96000 Hz. First the figures that need no timing, for each converter:
// the passband's flatness up to 3.6 kHz, the images of the 8000 Hz stream, the delay, and the
// peaks a sweep of random settings shows with and without the headroom gain. Then the cost:
// converting one second of engine output with each, and one second through the whole renderer
// against renderBlock alone, printed as ratios measured in the same run.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/RatioReporter.h"
#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "rate/Converter.h"
#include "rate/RateRenderer.h"
#include "tests/support/SineFit.h"
#include "tests/support/ZitaConverter.h"

namespace {

using namespace vireon;
using Converter = rate::RateRenderer::Converter;

// A JACK period: the block size the converted path sees most.
constexpr std::uint32_t kBlockFrames = 256;
constexpr std::uint32_t kEngineRate = 8000;
constexpr std::uint32_t kRates[] = {44100, 48000, 96000};

struct Candidate {
    const char* name;
    std::unique_ptr<Converter> (*make)(std::uint32_t rate, std::uint64_t framesPerCycle);
};
const Candidate kCandidates[] = {{"Vireon", &Converter::create},
                                 {"zita", &testsupport::makeZitaConverter}};

std::unique_ptr<Converter> make(const Candidate& candidate, std::uint32_t rate) {
    return candidate.make(rate, rate / std::gcd(rate, kEngineRate));
}

// `input` at 8000 Hz through a fresh converter, started as the renderer starts it (silence
// before the first sample), to `frames` frames at `rate`.
std::vector<float> convert(const Candidate& candidate, std::uint32_t rate,
                           const std::vector<float>& input, std::size_t frames) {
    const std::unique_ptr<Converter> converter = make(candidate, rate);
    const float lastOfTheSilence = 0.0f;
    std::vector<float> out(frames);
    std::uint32_t produced =
        converter->process(&lastOfTheSilence, 1, out.data(), static_cast<std::uint32_t>(frames))
            .produced;
    std::size_t taken = 0;
    while (produced < frames) {
        const auto left = static_cast<std::uint32_t>(input.size() - taken);
        const Converter::Progress progress = converter->process(
            left > 0 ? input.data() + taken : nullptr, left > 0 ? left : 1, out.data() + produced,
            static_cast<std::uint32_t>(frames - produced));
        taken += left > 0 ? progress.consumed : 0;
        produced += progress.produced;
    }
    return out;
}

struct ToneFit {
    double gainDb;
    double imagesDb;  // what is left besides the tone, against the tone
};

// A sine of `frequency` through the converter, fitted after the converter's start: the level
// shows the gain, the rest the images (and any other error).
ToneFit fitTone(const Candidate& candidate, std::uint32_t rate, double frequency) {
    std::vector<float> input(kEngineRate / 2);
    for (std::size_t n = 0; n < input.size(); ++n) {
        input[n] =
            static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency * n / kEngineRate));
    }
    const std::vector<float> out = convert(candidate, rate, input, rate / 2);
    const testsupport::SineFit fit = testsupport::fitSine(
        std::span<const float>(out).subspan(rate / 20, rate / 2 - rate / 10), frequency, rate);
    return {20.0 * std::log10(fit.amplitude), fit.restDb};
}

// Frames from an impulse to the output's largest magnitude, in milliseconds.
double delayMs(const Candidate& candidate, std::uint32_t rate) {
    const std::vector<float> out = convert(candidate, rate, {1.0f}, rate / 50);
    const auto peak = std::max_element(
        out.begin(), out.end(), [](float x, float y) { return std::fabs(x) < std::fabs(y); });
    return static_cast<double>(peak - out.begin()) * 1e3 / rate;
}

void printQuality() {
    std::printf("%-7s %-6s %22s %22s %22s %9s\n", "rate", "", "flatness to 3.6 kHz",
                "images, tones <= 3 kHz", "images, tones <= 3.6k", "delay");
    for (const std::uint32_t rate : kRates) {
        for (const Candidate& candidate : kCandidates) {
            double flatness = 0.0, images3 = -400.0, images36 = -400.0;
            for (double frequency = 25.0; frequency <= 3600.0; frequency += 25.0) {
                const ToneFit fit = fitTone(candidate, rate, frequency);
                flatness = std::max(flatness, std::fabs(fit.gainDb));
                images36 = std::max(images36, fit.imagesDb);
                if (frequency <= 3000.0) {
                    images3 = std::max(images3, fit.imagesDb);
                }
            }
            std::printf("%-7u %-6s %19.4f dB %19.1f dB %19.1f dB %6.3f ms\n", rate, candidate.name,
                        flatness, images3, images36, delayMs(candidate, rate));
        }
    }
}

// Random settings, one note held for a second and released, at 48000 Hz: the peaks of the
// converted stream before and after the headroom gain.
void printHeadroomSweep(int settings) {
    for (const Candidate& candidate : kCandidates) {
        std::mt19937 random(2026);
        std::vector<double> peaks;
        std::uint64_t total = 0, overUnscaled = 0, overScaled = 0;
        std::vector<float> engineOut(2 * kEngineRate);
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
            midi::MidiNoteHandler handler(state);
            handler.onMidiMessage(midi::MidiMessageKind::Data,
                                  midi::packShortMessage(0x90, 24 + random() % 84, 100), 0);
            engine::renderBlock(state, adsr, engineOut.data(), kEngineRate);
            handler.onMidiMessage(midi::MidiMessageKind::Data, midi::packShortMessage(0x80, 0, 0),
                                  0);
            engine::renderBlock(state, adsr, engineOut.data() + kEngineRate, kEngineRate);
            const std::vector<float> out = convert(candidate, 48000, engineOut, 2 * 48000);
            double peak = 0.0;
            for (const float sample : out) {
                const double unscaled = std::fabs(sample);
                peak = std::max(peak, unscaled);
                overUnscaled += unscaled > 1.0;
                overScaled += unscaled * rate::kHeadroomGain > 1.0;
            }
            total += out.size();
            peaks.push_back(peak);
        }
        std::sort(peaks.begin(), peaks.end());
        std::printf(
            "%s: headroom sweep, %d random settings at 48000 Hz, %llu samples: without the gain "
            "peak %.3f (median %.3f, 99th percentile %.3f), %.3f%% of samples above 1.0; "
            "with the gain %.2f: peak %.3f, %llu samples above 1.0\n",
            candidate.name, settings, static_cast<unsigned long long>(total), peaks.back(),
            peaks[peaks.size() / 2], peaks[peaks.size() * 99 / 100], 100.0 * overUnscaled / total,
            rate::kHeadroomGain, peaks.back() * rate::kHeadroomGain,
            static_cast<unsigned long long>(overScaled));
    }
}

void noteOn(engine::SynthState& state, int key) {
    midi::MidiNoteHandler(state).onMidiMessage(midi::MidiMessageKind::Data,
                                               midi::packShortMessage(0x90, key, 100), 0);
}

// A second of a held note at the start-up settings, past the fade and the attack.
std::vector<float> heldNoteSecond() {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    noteOn(state, 69);
    std::vector<float> samples(kEngineRate);
    for (int i = 0; i < 3; ++i) {
        engine::renderBlock(state, adsr, samples.data(), kEngineRate);
    }
    return samples;
}

// One second of engine output converted to `rate`, in blocks of a JACK period.
void conversionAlone(benchmark::State& bench, const Candidate* candidate, std::uint32_t rate) {
    const std::vector<float> input = heldNoteSecond();
    const std::unique_ptr<Converter> converter = make(*candidate, rate);
    std::vector<float> block(kBlockFrames);
    for (auto _ : bench) {
        std::uint32_t taken = 0;
        for (std::uint32_t done = 0; done < rate;) {
            const Converter::Progress progress =
                converter->process(input.data() + taken, kEngineRate - taken, block.data(),
                                   std::min(kBlockFrames, rate - done));
            taken = std::min(taken + progress.consumed, kEngineRate - 1);
            done += progress.produced;
            benchmark::DoNotOptimize(block.data());
        }
    }
}

// One second of output at `rate` through the whole renderer, engine included, with a note held
// at the start-up settings.
void oneSecond(benchmark::State& bench, std::uint32_t rate) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    noteOn(state, 69);
    rate::RateRenderer renderer(state, adsr, rate);
    std::vector<float> block(kBlockFrames);
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

std::string conversionName(const Candidate& candidate, std::uint32_t rate) {
    return "conversion of a second to " + std::to_string(rate) + " (" + candidate.name + ")";
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    printQuality();
    printHeadroomSweep(1000);
    benchmark::RegisterBenchmark("second at 8000 (renderBlock)", engineAlone);
    for (const std::uint32_t rate : kRates) {
        benchmark::RegisterBenchmark(("second at " + std::to_string(rate)).c_str(), oneSecond,
                                     rate);
        for (const Candidate& candidate : kCandidates) {
            benchmark::RegisterBenchmark(conversionName(candidate, rate).c_str(), conversionAlone,
                                         &candidate, rate);
        }
    }
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const std::uint32_t rate : kRates) {
        const double* own = reporter.seconds(conversionName(kCandidates[0], rate));
        const double* zita = reporter.seconds(conversionName(kCandidates[1], rate));
        if (own != nullptr && zita != nullptr) {
            std::printf("converting a second to %u Hz, Vireon / zita: %.2f\n", rate, *own / *zita);
        }
    }
    if (const double* engine = reporter.seconds("second at 8000 (renderBlock)")) {
        for (const std::uint32_t rate : kRates) {
            if (const double* converted = reporter.seconds("second at " + std::to_string(rate))) {
                std::printf("one second at %u Hz / one second of renderBlock: %.2f\n", rate,
                            *converted / *engine);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
