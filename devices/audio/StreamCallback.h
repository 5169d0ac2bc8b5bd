// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "live/LiveInstrument.h"
#include "live/ScopeTap.h"

namespace vireon::audio::detail {

/// How far the worker that stops a stream got: still at it; the stream aborted and closed and
/// the library kept; the library terminated too; or stopped short with the library left as it
/// is, because the JACK server it used has gone.
enum class ShutdownProgress : int { Running, Closed, Terminated, LeftRunning };

/// What the stream callback and the shutdown worker share. Either may outlive the AudioOutput
/// after an abandoned shutdown, so it lives in its own reference-counted block.
struct StreamContext {
    explicit StreamContext(live::LiveInstrument& instrument) : instrument(instrument) {}

    /// Set to the stream's rate on the UI thread before the stream opens; the callback renders
    /// it while the stream runs, and the UI thread otherwise.
    live::LiveInstrument& instrument;
    std::atomic<ShutdownProgress> shutdown{ShutdownProgress::Running};
    /// The scope's ring while a scope watches, null otherwise: one load per block.
    std::atomic<live::ScopeTap*> scopeTap{nullptr};
    /// Bumped by every callback, so the user-interface thread can tell a stream that has stopped
    /// being called (its server went away) from a running one.
    std::atomic<std::uint32_t> callbacks{0};
};

/// Applies the events waiting, fills the block at whatever rate the stream runs (applying the
/// `timed` messages, if any, at their frames, or else placing the block by the output's `times`),
/// feeds a watching scope and counts the call. Never locks, allocates or calls the system.
/// Audio thread.
void playBlock(StreamContext& context, float* block, unsigned long frameCount,
               const live::LiveInstrument::TimedMessages* timed = nullptr,
               live::OutputTimes times = {}) noexcept;

/// The library's stream callback, which plays the block, with the library's times for it.
/// Audio thread.
int renderCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                   void* context);

}  // namespace vireon::audio::detail
