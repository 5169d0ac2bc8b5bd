#pragma once

#include <portaudio.h>

#include <atomic>
#include <memory>

#include "audio/ScopeTap.h"
#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "rate/RateRenderer.h"

namespace vireon::audio::detail {

enum class ShutdownProgress : int { Running, Terminated, LeftRunning };

/// What the stream callback and the shutdown worker share. Either may outlive the AudioOutput
/// after an abandoned shutdown, so it lives in its own reference-counted block.
struct StreamContext {
    StreamContext(engine::SynthState& state, const engine::AdsrSettings& adsr)
        : state(state), adsr(adsr) {}

    engine::SynthState& state;
    const engine::AdsrSettings& adsr;
    /// Made on the UI thread before the stream opens, at the rate it opens with; the callback
    /// only renders through it.
    std::unique_ptr<rate::RateRenderer> renderer;
    std::atomic<ShutdownProgress> shutdown{ShutdownProgress::Running};
    /// The scope's ring while a scope watches, null otherwise: one load per block.
    std::atomic<ScopeTap*> scopeTap{nullptr};
};

/// The stream callback: fills the block through the context's renderer, at whatever rate the
/// stream runs. Never locks, allocates or calls the system. Audio thread.
int renderCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                   void* context);

}  // namespace vireon::audio::detail
