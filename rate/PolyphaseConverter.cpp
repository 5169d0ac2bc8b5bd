// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <array>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "rate/Converter.h"
#include "rate/SincFilter.h"

namespace vireon::rate {
namespace {

constexpr int kTaps = SincFilter::kTaps;

// Ratios whose numerator in lowest terms is at most this get one row of taps for each output
// position within a cycle of the ratio: 441 rows at 44100 Hz, 6 at 48000 Hz, every rate a device
// uses. A finer ratio (44101 Hz has 44101 positions) would need megabytes and seconds to set up,
// so it takes its taps from a table of kInterpolatedRows positions instead, linearly
// interpolated between the two rows around its position: the same arithmetic on every target,
// with images a little higher.
constexpr std::uint64_t kMaxExactRows = 1000;
constexpr std::uint64_t kInterpolatedRows = 1024;

// Input kept beyond the filter's length, so that the window slides back to the buffer's start
// only once in this many samples.
constexpr std::uint32_t kBufferRoom = 1024;

// A sum of kTaps products in a fixed order: eight running sums, one for each tap modulo 8,
// added pairwise at the end. Without fused multiply-adds (the build forbids contraction) every
// target rounds the same way, and a compiler may still carry the eight sums in vector lanes.
float dotProduct(const float* input, const float* taps) {
    std::array<float, 8> sums{};
    for (int k = 0; k < kTaps; k += 8) {
        for (int lane = 0; lane < 8; ++lane) {
            sums[lane] += input[k + lane] * taps[k + lane];
        }
    }
    return ((sums[0] + sums[4]) + (sums[1] + sums[5])) +
           ((sums[2] + sums[6]) + (sums[3] + sums[7]));
}

// The engine's stream to outputRate through SincFilter: output frame f lies at input position
// f * samplesPerCycle / framesPerCycle, kept as an exact integer fraction, so the sequence of
// positions repeats every cycle of the ratio, however long it runs.
class PolyphaseConverter final : public RateRenderer::Converter {
  public:
    PolyphaseConverter(std::uint32_t outputRate, std::uint64_t framesPerCycle)
        : framesPerCycle_(framesPerCycle),
          samplesPerCycle_(framesPerCycle * kEngineRate / outputRate),
          exactRows_(framesPerCycle <= kMaxExactRows),
          buffer_(kTaps + kBufferRoom) {
        if (outputRate <= kEngineRate ||
            samplesPerCycle_ * outputRate != framesPerCycle * kEngineRate) {
            throw std::invalid_argument("The converter cannot be set up for " +
                                        std::to_string(outputRate) + " Hz.");
        }
        // The interpolated table has one row more: position 1, the end of the last interval.
        const std::uint64_t rows = exactRows_ ? framesPerCycle_ : kInterpolatedRows + 1;
        const std::uint64_t positions = exactRows_ ? framesPerCycle_ : kInterpolatedRows;
        table_.resize(rows * kTaps);
        for (std::uint64_t row = 0; row < rows; ++row) {
            SincFilter::taps(row, positions,
                             std::span<float, kTaps>(table_.data() + row * kTaps, kTaps));
        }
        reset();
    }

    void reset() override {
        std::fill(buffer_.begin(), buffer_.end(), 0.0f);
        end_ = kTaps - 1;
        position_ = 0;
        needed_ = 1;
    }

    std::uint32_t filterLength() const override { return kTaps; }

    Progress process(const float* input, std::uint32_t inputCount, float* output,
                     std::uint32_t outputCount) override {
        Progress progress{0, 0};
        while (progress.produced < outputCount) {
            if (needed_ > 0) {
                if (progress.consumed == inputCount) {
                    break;
                }
                take(input != nullptr ? input[progress.consumed] : 0.0f);
                ++progress.consumed;
                --needed_;
                continue;
            }
            if (output != nullptr) {
                output[progress.produced] = frame();
            }
            ++progress.produced;
            // Each frame moves less than one input sample on: the output rate is the higher.
            position_ += samplesPerCycle_;
            if (position_ >= framesPerCycle_) {
                position_ -= framesPerCycle_;
                ++needed_;
            }
        }
        return progress;
    }

  private:
    void take(float sample) {
        if (end_ == buffer_.size()) {
            std::copy(buffer_.end() - (kTaps - 1), buffer_.end(), buffer_.begin());
            end_ = kTaps - 1;
        }
        buffer_[end_++] = sample;
    }

    float frame() {
        const float* window = buffer_.data() + end_ - kTaps;
        if (exactRows_) {
            return dotProduct(window, table_.data() + position_ * kTaps);
        }
        // Row and weight from integers: position_ / framesPerCycle_ = (row + weight) /
        // kInterpolatedRows, the weight rounded once.
        const std::uint64_t scaled = position_ * kInterpolatedRows;
        const float* below = table_.data() + scaled / framesPerCycle_ * kTaps;
        const float* above = below + kTaps;
        const float weight =
            static_cast<float>(scaled % framesPerCycle_) / static_cast<float>(framesPerCycle_);
        for (int k = 0; k < kTaps; ++k) {
            interpolated_[k] = below[k] + weight * (above[k] - below[k]);
        }
        return dotProduct(window, interpolated_.data());
    }

    const std::uint64_t framesPerCycle_;
    const std::uint64_t samplesPerCycle_;
    const bool exactRows_;
    std::vector<float> table_;
    std::array<float, kTaps> interpolated_{};
    // The input, the last kTaps samples before end_ being the next frame's window.
    std::vector<float> buffer_;
    std::size_t end_ = 0;
    // The next frame's position past the window's start, in 1 / framesPerCycle_ of a sample.
    std::uint64_t position_ = 0;
    // Input samples to take before the next frame can be computed.
    std::uint32_t needed_ = 0;
};

}  // namespace

std::unique_ptr<RateRenderer::Converter> RateRenderer::Converter::create(
    std::uint32_t outputRate, std::uint64_t framesPerCycle) {
    return std::make_unique<PolyphaseConverter>(outputRate, framesPerCycle);
}

}  // namespace vireon::rate
