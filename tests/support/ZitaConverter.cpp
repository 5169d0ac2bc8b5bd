// SPDX-License-Identifier: GPL-3.0-or-later
#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

#include <stdexcept>
#include <string>

#include "tests/support/ZitaConverter.h"

namespace vireon::testsupport {
namespace {

using rate::kEngineRate;
using rate::RateRenderer;

// Half the filter length in engine samples, as Vireon used it before it had a converter of its
// own: images of the 8000 Hz stream more than 110 dB down, with a delay of 4 ms.
constexpr unsigned kHalfLength = 32;

// The exact converter takes rates whose ratio to 8000 Hz has a numerator of at most this, in
// lowest terms: 44100, 48000, 96000 and every other rate a device uses.
constexpr std::uint64_t kMaxExactFramesPerCycle = 1000;

// zita's fixed-ratio Resampler steps through the ratio with integer phases, so its output is
// exact and repeatable; its variable-ratio VResampler takes the rare rates whose ratio is too
// fine for that, with a double-precision phase. Both take input only when the next output needs
// it, which is what lets the renderer produce engine samples just in time.
class ZitaConverter final : public RateRenderer::Converter {
  public:
    ZitaConverter(std::uint32_t outputRate, std::uint64_t framesPerCycle) {
        int failed = 0;
        if (framesPerCycle <= kMaxExactFramesPerCycle) {
            exact_ = std::make_unique<Resampler>();
            failed = exact_->setup(kEngineRate, outputRate, 1, kHalfLength);
        } else {
            variable_ = std::make_unique<VResampler>();
            failed =
                variable_->setup(static_cast<double>(outputRate) / kEngineRate, 1, kHalfLength);
        }
        if (failed != 0) {
            throw std::invalid_argument("The converter cannot be set up for " +
                                        std::to_string(outputRate) + " Hz.");
        }
        reset();
    }

    void reset() override {
        if (exact_) {
            exact_->reset();
            feed(*exact_, nullptr, static_cast<unsigned>(exact_->inpsize() - 1), nullptr, 1);
        } else {
            variable_->reset();
            feed(*variable_, nullptr, static_cast<unsigned>(variable_->inpsize() - 1), nullptr, 1);
        }
    }

    std::uint32_t filterLength() const override {
        return static_cast<std::uint32_t>(exact_ ? exact_->inpsize() : variable_->inpsize());
    }

    Progress process(const float* input, std::uint32_t inputCount, float* output,
                     std::uint32_t outputCount) override {
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

}  // namespace

std::unique_ptr<RateRenderer::Converter> makeZitaConverter(std::uint32_t outputRate,
                                                           std::uint64_t framesPerCycle) {
    return std::make_unique<ZitaConverter>(outputRate, framesPerCycle);
}

}  // namespace vireon::testsupport
