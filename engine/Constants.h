// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstdint>

namespace vireon::engine {

/// Output sample rate in frames per second; enters arithmetic as the double 8000.0.
inline constexpr double kSampleRate = 8000.0;

/// Samples at the start of a note (and of the stream) that are shaped by the onset ramp.
inline constexpr std::int32_t kRampSamples = 100;

/// Length of the retrigger fade in envelope steps at the Fade control's start-up position; a fade
/// of F steps spans F + 1 samples, and a fade of 0 steps none.
inline constexpr std::int32_t kFadeSamples = 1000;

/// Note-on velocities run up to this; a note at it sounds at full level whatever the sensitivity.
inline constexpr double kVelocityMax = 127.0;

/// Engine samples per millisecond of glide.
inline constexpr std::int32_t kSamplesPerMillisecond = 8;

/// The sample counter is reset once it passes this value, so it never overflows.
inline constexpr std::int32_t kCounterGuard = 2147483640;

// The constants below are single-precision values whose exact bits shape the sound, so they are
// written as bit patterns rather than decimal literals.

/// 2*pi rounded to single precision (6.2831855), widened to double where it is used.
inline constexpr float kTwoPi = std::bit_cast<float>(std::uint32_t{0x40C90FDB});

/// Havoc (omega) before the Havoc slider first moves: 2.2378.
inline constexpr float kStartupOmega = std::bit_cast<float>(std::uint32_t{0x400F381D});

/// Bedlam (k) before the Bedlam slider first moves: 0.12904.
inline constexpr float kStartupK = std::bit_cast<float>(std::uint32_t{0x3E042310});

/// Disorder (s) when no settings file gives one: 0.4, the value the text "10" gives.
inline constexpr float kDefaultDisorder = std::bit_cast<float>(std::uint32_t{0x3ECCCCCD});

/// Base of the Havoc slider's exponential mapping: 1.07151.
inline constexpr float kHavocBase = std::bit_cast<float>(std::uint32_t{0x3F89273D});

/// Base of the Bedlam slider's exponential mapping: 1.064118.
inline constexpr float kBedlamBase = std::bit_cast<float>(std::uint32_t{0x3F883505});

inline constexpr double kHavocDivisor = 10.0;
inline constexpr double kBedlamDivisor = 50.0;
inline constexpr double kDisorderDivisor = 25.0;

/// Attack time in seconds is kAttackCurveBase^A * kAttackCurveScale / 1000.
inline constexpr double kAttackCurveBase = 1.00517037535;
inline constexpr double kAttackCurveScale = 0.0994856;

/// Pitch that sounds during the very first note's fade, before any note has closed.
inline constexpr double kStartupPreviousFrequency = 100.0;

}  // namespace vireon::engine
