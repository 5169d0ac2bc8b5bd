// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/ScopeTrace.h"

#include <algorithm>
#include <cmath>

namespace vireon::live {
namespace {

// What one take moves at a time; the ring holds more, so take() loops.
constexpr std::size_t kTakeChunk = 4096;

}  // namespace

void ScopeTrace::take(live::ScopeTap& tap) {
    incoming_.resize(kTakeChunk);
    const std::uint32_t rate = tap.rate.load(std::memory_order_relaxed);
    while (const std::size_t count = tap.ring.pop(incoming_.data(), incoming_.size())) {
        append(std::span<const float>(incoming_.data(), count), rate);
    }
}

std::size_t ScopeTrace::spanSamples() const {
    return static_cast<std::size_t>(std::lround(kSpanSeconds * rate_));
}

void ScopeTrace::append(std::span<const float> samples, std::uint32_t rate) {
    if (rate != rate_) {
        rate_ = rate;
        history_.clear();
    }
    history_.insert(history_.end(), samples.begin(), samples.end());
    // Two spans: room to look back one span for a crossing with a whole span after it.
    const std::size_t keep = 2 * spanSamples();
    if (history_.size() > keep) {
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<std::ptrdiff_t>(history_.size() - keep));
    }
}

std::span<const float> ScopeTrace::visible() const {
    const std::size_t span = spanSamples();
    if (history_.size() <= span) {
        return history_;
    }
    for (std::size_t start = history_.size() - span; start > 0; --start) {
        if (history_[start - 1] < 0.0f && history_[start] >= 0.0f) {
            return std::span<const float>(history_).subspan(start, span);
        }
    }
    return std::span<const float>(history_).last(span);
}

}  // namespace vireon::live
