// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vireon::live {

/// A reading of the clock that live events are stamped with, in nanoseconds from an arbitrary
/// start.
using ClockReading = std::int64_t;

/// Where the live instrument reads the time: the monotonic clock in the program, a clock a test
/// sets by hand otherwise. Must not lock or block, since the audio thread reads it once a block.
using Clock = ClockReading (*)() noexcept;

/// The one monotonic clock that the sources stamp their events with and the audio thread reads
/// to place them. Never goes back and never jumps with the wall clock; on Linux it is read in
/// user space (vDSO), without a system call. Any thread; RT.
ClockReading monotonicClock() noexcept;

}  // namespace vireon::live
