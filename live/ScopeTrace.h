// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "live/ScopeTap.h"

namespace vireon::live {

/// The last stretch of the sound as the scope draws it: about 40 ms, steadied on a rising zero
/// crossing when there is one, so that a held note stands still on the screen instead of
/// running across it. UI thread.
class ScopeTrace {
  public:
    static constexpr double kSpanSeconds = 0.040;

    /// Moves everything waiting in the tap into the trace, at the tap's rate.
    void take(live::ScopeTap& tap);

    /// Adds samples played at `rate` frames per second after those already held. A new rate
    /// starts the trace afresh.
    void append(std::span<const float> samples, std::uint32_t rate);

    /// The samples to draw, oldest first: one span starting at the latest rising zero crossing
    /// that still has a whole span after it, or the latest span when no crossing has; fewer
    /// while less has been played.
    std::span<const float> visible() const;

    /// How many samples one span holds at the current rate.
    std::size_t spanSamples() const;

  private:
    std::vector<float> history_;
    std::vector<float> incoming_;
    std::uint32_t rate_ = 0;
};

}  // namespace vireon::live
