// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::engine {

// The powers the engine and the note handling use, correctly rounded to double. Each has
// finitely many inputs, so each is a table, computed once at start-up in wide integer
// arithmetic: the same bits on every platform, whatever its pow does. Any thread.

/// kHavocBase^position for the Havoc slider, position clamped to its range (1..100).
double havocPower(int position);

/// kBedlamBase^position for the Bedlam slider, position clamped to its range (1..100).
double bedlamPower(int position);

/// kAttackCurveBase^attack for the attack slider, attack clamped to 1..2000.
double attackPower(std::int32_t attack);

/// The onset ramp's (counter / 100, rounded to single precision)^5, counter clamped to 0..99.
double rampPower(std::int32_t counter);

/// 2^((note - 69) / 12), the exponent rounded to double first, for MIDI notes (clamped 0..127).
double semitonePower(std::uint32_t note);

/// True when every table entry's error bound settled its rounding, as it does for all of them:
/// then each value is the correctly rounded power by construction.
bool powerTablesSettled();

}  // namespace vireon::engine
