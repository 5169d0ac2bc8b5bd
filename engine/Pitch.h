// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace vireon::engine {

/// 2^(semitones / 12): the frequency ratio of an interval, for bends and glides. Built from IEEE
/// basic operations alone (a series, not the library's pow or exp), so every target gives the
/// same bits; within a few ulp of the true ratio. Exactly 1.0 for 0. `semitones` must be finite
/// and within +-1000. Any thread; does not allocate.
double semitoneRatio(double semitones);

}  // namespace vireon::engine
