// SPDX-License-Identifier: GPL-3.0-or-later
#include "rate/RateRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <string>

#include "engine/Constants.h"
#include "engine/RenderBlock.h"
#include "rate/Converter.h"

namespace vireon::rate {
namespace {

static_assert(kMinOutputRate == kEngineRate);

// Engine samples rendered per call while the converter asks for more; bounds the staging buffer
// whatever the block size.
constexpr std::uint32_t kStagingCapacity = 1024;

}  // namespace

bool isSupportedOutputRate(std::uint32_t outputRate) {
    return outputRate >= kMinOutputRate && outputRate <= kMaxOutputRate;
}

RateRenderer::RateRenderer(engine::SynthState& state, const engine::AdsrSettings& adsr,
                           std::uint32_t outputRate)
    : RateRenderer(SampleSource{nullptr, nullptr}, outputRate) {
    engine_ = EngineContext{&state, &adsr};
    source_ = SampleSource{[](void* context, float* output, std::uint32_t count) {
                               auto* engine = static_cast<EngineContext*>(context);
                               engine::renderBlock(*engine->state, *engine->adsr, output, count);
                           },
                           &engine_};
}

RateRenderer::RateRenderer(SampleSource source, std::uint32_t outputRate)
    : source_(source), outputRate_(outputRate) {
    if (!isSupportedOutputRate(outputRate)) {
        throw std::invalid_argument("The output rate " + std::to_string(outputRate) +
                                    " Hz is outside " + std::to_string(kMinOutputRate) + " to " +
                                    std::to_string(kMaxOutputRate) + " Hz.");
    }
    const std::uint64_t divisor = std::gcd(outputRate, kEngineRate);
    framesPerCycle_ = outputRate / divisor;
    samplesPerCycle_ = kEngineRate / divisor;
    if (outputRate == kEngineRate) {
        return;
    }
    converter_ = Converter::create(outputRate, framesPerCycle_);
    staging_.resize(kStagingCapacity);
    reset();

    // The delay is measured, not derived, so that it follows the filter whatever its shape: an
    // impulse at engine sample 0 through a converter set up like this one peaks this many frames
    // later.
    const std::unique_ptr<Converter> probe = Converter::create(outputRate, framesPerCycle_);
    const float silenceThenImpulse[] = {0.0f, 1.0f};
    std::vector<float> response(static_cast<std::size_t>(2 * probe->filterLength()) *
                                    framesPerCycle_ / samplesPerCycle_ +
                                16);
    const auto size = static_cast<std::uint32_t>(response.size());
    std::uint32_t produced = probe->process(silenceThenImpulse, 2, response.data(), size).produced;
    while (produced < response.size()) {
        produced +=
            probe->process(nullptr, 1, response.data() + produced, size - produced).produced;
    }
    const auto peak = std::max_element(response.begin(), response.end(), [](float a, float b) {
        return std::fabs(a) < std::fabs(b);
    });
    latencyFrames_ = static_cast<std::uint32_t>(peak - response.begin());
}

RateRenderer::~RateRenderer() = default;

void RateRenderer::renderEngine(std::uint32_t count) {
    if (stagedBegin_ == stagedEnd_) {
        stagedBegin_ = stagedEnd_ = 0;
    }
    float* const samples = staging_.data() + stagedEnd_;
    if (silentSource_) {
        std::fill_n(samples, count, 0.0f);
    } else {
        source_.render(source_.context, samples, count);
    }
    const float* const lastSound = std::find_if(std::make_reverse_iterator(samples + count),
                                                std::make_reverse_iterator(samples),
                                                [](float sample) { return sample != 0.0f; })
                                       .base();
    quietSamples_ = lastSound == samples ? quietSamples_ + count
                                         : static_cast<std::uint64_t>(samples + count - lastSound);
    stagedEnd_ += count;
    engineSamplesRendered_ += count;
}

void RateRenderer::render(float* output, std::uint32_t frameCount) {
    if (!converter_) {
        source_.render(source_.context, output, frameCount);
        framesRendered_ += frameCount;
        engineSamplesRendered_ += frameCount;
        return;
    }
    while (frameCount > 0) {
        const Converter::Progress progress = converter_->process(
            staging_.data() + stagedBegin_, stagedEnd_ - stagedBegin_, output, frameCount);
        stagedBegin_ += progress.consumed;
        for (std::uint32_t i = 0; i < progress.produced; ++i) {
            output[i] *= kHeadroomGain;
        }
        output += progress.produced;
        frameCount -= progress.produced;
        framesRendered_ += progress.produced;
        if (frameCount == 0) {
            break;
        }
        // The converter has taken every staged sample and wants more. Render no more than the
        // remaining frames surely need, so that no engine sample is rendered before its time:
        // an event aligned at a later frame must still find its sample unrendered.
        const std::uint64_t surelyNeeded = frameCount * samplesPerCycle_ / framesPerCycle_;
        const std::uint32_t count = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
            surelyNeeded > 2 ? surelyNeeded - 2 : 1, 1, kStagingCapacity));
        renderEngine(count);
    }
}

void RateRenderer::alignForEvent() {
    if (!converter_) {
        return;
    }
    const std::uint64_t target = engineSampleAt(framesRendered_);
    if (engineSamplesRendered_ >= target) {
        return;
    }
    // Only a sample or two: the converter has just taken everything up to about this point.
    if (stagedBegin_ > 0 && stagedBegin_ == stagedEnd_) {
        stagedBegin_ = stagedEnd_ = 0;
    }
    const std::uint64_t room = kStagingCapacity - stagedEnd_;
    renderEngine(static_cast<std::uint32_t>(std::min(target - engineSamplesRendered_, room)));
}

bool RateRenderer::quiet() const {
    return !converter_ || quietSamples_ >= 2 * converter_->filterLength();
}

void RateRenderer::restartAt(std::uint64_t frame) {
    reset();
    if (!converter_) {
        framesRendered_ = engineSamplesRendered_ = frame;
        return;
    }
    // Silence is the same in every cycle of the rate ratio, so after whole cycles of it the
    // converter is where it started; only the frames into the last cycle are rendered.
    silentSource_ = true;
    std::array<float, 256> discarded;
    for (std::uint64_t rest = frame % framesPerCycle_; rest > 0;) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, discarded.size()));
        render(discarded.data(), count);
        rest -= count;
    }
    silentSource_ = false;
    framesRendered_ += frame / framesPerCycle_ * framesPerCycle_;
    engineSamplesRendered_ += frame / framesPerCycle_ * samplesPerCycle_;
}

void RateRenderer::followTimeline(std::int64_t frame) {
    // Only the place within a cycle of the rate ratio decides which engine sample a frame falls
    // on, so the counters stay near where they were.
    const auto cycle = static_cast<std::int64_t>(framesPerCycle_);
    const auto wanted = static_cast<std::uint64_t>((frame % cycle + cycle) % cycle);
    const std::uint64_t current = framesRendered_ % framesPerCycle_;
    if (wanted != current && quiet()) {
        restartAt(framesRendered_ - current + wanted);
    }
}

void RateRenderer::reset() {
    framesRendered_ = 0;
    engineSamplesRendered_ = 0;
    // A fresh converter's history is silence.
    quietSamples_ = converter_ ? 2 * converter_->filterLength() : 0;
    stagedBegin_ = stagedEnd_ = 0;
    if (converter_) {
        converter_->reset();
        // The last sample of the leading silence: with a whole filter length of it, frame f
        // needs no engine sample after engineSampleAt(f), so events can be aligned on time.
        staging_[0] = 0.0f;
        stagedEnd_ = 1;
    }
}

std::uint64_t RateRenderer::engineSampleAt(std::uint64_t frame) const {
    // floor(frame * samplesPerCycle / framesPerCycle), split so that it cannot overflow.
    const std::uint64_t cycles = frame / framesPerCycle_;
    const std::uint64_t rest = frame % framesPerCycle_;
    return cycles * samplesPerCycle_ + rest * samplesPerCycle_ / framesPerCycle_;
}

std::uint64_t RateRenderer::frameAt(std::uint64_t sample) const {
    const std::uint64_t cycles = sample / samplesPerCycle_;
    const std::uint64_t rest = sample % samplesPerCycle_;
    return cycles * framesPerCycle_ +
           (rest * framesPerCycle_ + samplesPerCycle_ - 1) / samplesPerCycle_;
}

}  // namespace vireon::rate
