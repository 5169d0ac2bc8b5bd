#include "rate/RateRenderer.h"

#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

#include "engine/Constants.h"
#include "engine/RenderBlock.h"

namespace vireon::rate {
namespace {

constexpr std::uint32_t kEngineRate = static_cast<std::uint32_t>(engine::kSampleRate);
static_assert(kMinOutputRate == kEngineRate);

// Half the filter length in engine samples. 32 keeps the images of the 8000 Hz stream more than
// 120 dB down, with a delay of 4 ms.
constexpr unsigned kHalfLength = 32;

// Engine samples rendered per call while the converter asks for more; bounds the staging buffer
// whatever the block size.
constexpr std::uint32_t kStagingCapacity = 1024;

// The exact converter takes rates whose ratio to 8000 Hz has a numerator of at most this, in
// lowest terms: 44100, 48000, 96000 and every other rate a device uses.
constexpr std::uint64_t kMaxExactFramesPerCycle = 1000;

}  // namespace

// zita's fixed-ratio Resampler steps through the ratio with integer phases, so its output is
// exact and repeatable; its variable-ratio VResampler takes the rare rates whose ratio is too
// fine for that, with a double-precision phase. Both take input only when the next output needs
// it, which is what lets the renderer produce engine samples just in time.
class RateRenderer::Converter {
  public:
    Converter(std::uint32_t outputRate, std::uint64_t framesPerCycle) {
        if (framesPerCycle <= kMaxExactFramesPerCycle) {
            exact_ = std::make_unique<Resampler>();
            if (exact_->setup(kEngineRate, outputRate, 1, kHalfLength) != 0) {
                throw std::invalid_argument("The converter cannot be set up for " +
                                            std::to_string(outputRate) + " Hz.");
            }
        } else {
            variable_ = std::make_unique<VResampler>();
            if (variable_->setup(static_cast<double>(outputRate) / kEngineRate, 1, kHalfLength) !=
                0) {
                throw std::invalid_argument("The converter cannot be set up for " +
                                            std::to_string(outputRate) + " Hz.");
            }
        }
        reset();
    }

    // Starts over with all but one sample of a filter length of silence in the input; the
    // caller supplies the last one.
    void reset() {
        if (exact_) {
            exact_->reset();
            feed(*exact_, nullptr, static_cast<unsigned>(exact_->inpsize() - 1), nullptr, 1);
        } else {
            variable_->reset();
            feed(*variable_, nullptr, static_cast<unsigned>(variable_->inpsize() - 1), nullptr, 1);
        }
    }

    struct Progress {
        std::uint32_t consumed;
        std::uint32_t produced;
    };

    // Converts until the output is full or the input runs out. A null input means silence, a
    // null output discards.
    Progress process(const float* input, std::uint32_t inputCount, float* output,
                     std::uint32_t outputCount) {
        return exact_ ? feed(*exact_, input, inputCount, output, outputCount)
                      : feed(*variable_, input, inputCount, output, outputCount);
    }

  private:
    template <typename Zita>
    static Progress feed(Zita& zita, const float* input, std::uint32_t inputCount, float* output,
                         std::uint32_t outputCount) {
        // The library's interface takes non-const pointers but only reads its input.
        zita.inp_data = const_cast<float*>(input);
        zita.inp_count = inputCount;
        zita.out_data = output;
        zita.out_count = outputCount;
        zita.process();
        return {inputCount - zita.inp_count, outputCount - zita.out_count};
    }

    std::unique_ptr<Resampler> exact_;
    std::unique_ptr<VResampler> variable_;
};

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
    converter_ = std::make_unique<Converter>(outputRate, framesPerCycle_);
    staging_.resize(kStagingCapacity);
    reset();

    // The delay is measured, not derived, so that it is right for either converter: an impulse
    // at engine sample 0 through a converter set up like this one peaks this many frames later.
    Converter probe(outputRate, framesPerCycle_);
    const float silenceThenImpulse[] = {0.0f, 1.0f};
    std::vector<float> response(
        static_cast<std::size_t>(4 * kHalfLength) * framesPerCycle_ / samplesPerCycle_ + 16);
    const auto size = static_cast<std::uint32_t>(response.size());
    std::uint32_t produced = probe.process(silenceThenImpulse, 2, response.data(), size).produced;
    while (produced < response.size()) {
        produced += probe.process(nullptr, 1, response.data() + produced, size - produced).produced;
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
    source_.render(source_.context, staging_.data() + stagedEnd_, count);
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

void RateRenderer::reset() {
    framesRendered_ = 0;
    engineSamplesRendered_ = 0;
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
