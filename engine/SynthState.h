// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Constants.h"

namespace vireon::engine {

/// The one record of synthesis variables, shared by the audio, MIDI and user-interface threads.
///
/// Every field is a std::atomic of the exact width the sound needs, read and written whole with
/// relaxed ordering: no locks, and a reader always sees either the old or the new value. The
/// widths matter: single-precision fields round on every store, and that rounding is audible.
/// A default-constructed state is the application's start-up state with no settings file.
struct SynthState {
    /// Pitch of the most recent note-on in Hz; 0 until the first note-on. Written by MIDI.
    std::atomic<double> frequency{0.0};
    /// Pitch that keeps sounding during the retrigger fade. Written by MIDI when the gate closes.
    std::atomic<double> previousFrequency{kStartupPreviousFrequency};
    /// 1 while at least one note is held. Written by MIDI (and once by the UI before audio starts).
    std::atomic<std::int32_t> gate{0};
    /// Note-ons minus note-offs, never below 0. MIDI thread only.
    std::atomic<std::int32_t> noteCount{0};
    /// 0 means the envelope starts a new note at its next step. Set by audio, cleared by MIDI.
    std::atomic<std::int32_t> noteStarted{0};
    /// 0 means the phase reset after the retrigger fade is still due. Set by audio, cleared by
    /// MIDI.
    std::atomic<std::int32_t> phaseReset{0};
    /// Velocity of the most recent note-on, 1 to 127. Written by MIDI.
    std::atomic<std::int32_t> noteVelocity{static_cast<std::int32_t>(kVelocityMax)};

    // The glide, set up by MIDI at a note-on and advanced by the oscillator while the note's own
    // pitch sounds. The sounding pitch lies `offset` semitones from `targetFrequency`, the offset
    // shrinking evenly from `glideStart` to 0 over `glideLength` samples.
    /// The note's pitch with the bend, where the glide ends. Written by MIDI.
    std::atomic<double> targetFrequency{0.0};
    /// Semitones from the target at the glide's start. Written by MIDI.
    std::atomic<double> glideStart{0.0};
    /// Semitones from the target now. Written by the oscillator, and by MIDI as a glide starts.
    std::atomic<double> glideOffset{0.0};
    /// Samples the glide lasts. Written by MIDI.
    std::atomic<std::int32_t> glideLength{0};
    /// Samples of the glide still to come; 0 when the pitch is the target. Written by both.
    std::atomic<std::int32_t> glideRemaining{0};

    // Audio thread only from here on, except where noted.
    /// Samples since start-up or since the last attack began.
    std::atomic<std::int32_t> sampleCounter{0};
    /// Samples since the gate opened; -1 right after note start.
    std::atomic<std::int32_t> envelopeCounter{0};
    /// sampleCounter at the last gate-open envelope step: the release's reference point.
    std::atomic<std::int32_t> lastGateSample{0};
    std::atomic<double> envelope{0.0};
    /// Envelope at the last gate-open step; the release starts from it.
    std::atomic<double> heldLevel{0.0};
    /// Envelope while the gate is closed; the retrigger fade starts from it.
    std::atomic<double> fadeLevel{0.0};
    // Envelope shape of the current note, fixed at note start.
    std::atomic<double> attackSamples{0.0};
    std::atomic<double> decaySamples{0.0};
    std::atomic<double> sustainLevel{0.0};
    std::atomic<double> releaseSamples{0.0};
    /// Length of the current note's retrigger fade in steps, fixed at note start.
    std::atomic<std::int32_t> fadeSamples{kFadeSamples};
    /// The current note's level from its velocity, fixed at note start; exactly 1.0 when the
    /// velocity sensitivity is 0.
    std::atomic<double> velocityLevel{1.0};
    /// Oscillator phase in cycles; deliberately not reduced modulo 1.
    std::atomic<float> phase{0.0f};
    /// Rounded samples per cycle of the sounding pitch.
    std::atomic<std::int32_t> samplesPerCycle{0};
    /// Most recent oscillator output.
    std::atomic<float> lastSample{0.0f};

    /// Havoc, the additive chaos term. Written by the UI through setHavoc.
    std::atomic<float> omega{kStartupOmega};
    /// Bedlam, the sine-coupling strength. Written by the UI through setBedlam.
    std::atomic<float> k{kStartupK};
    /// Disorder, the fractional-part multiplier. Set once at start-up through setDisorder.
    std::atomic<float> s{kDefaultDisorder};

    /// Values derived from the pitch and from k, kept so the oscillator divides only when they
    /// change. Touched by the rendering thread alone, so they need no atomics.
    struct OscillatorCache {
        double pitch = -1.0;
        std::int32_t samplesPerCycle = 0;
        double increment = 0.0;
        float k = 0.0f;
        double kOverTwoPi = 0.0;
    } oscillatorCache;

    static_assert(std::atomic<double>::is_always_lock_free &&
                      std::atomic<float>::is_always_lock_free &&
                      std::atomic<std::int32_t>::is_always_lock_free,
                  "the audio thread must never take a lock");
};

}  // namespace vireon::engine
