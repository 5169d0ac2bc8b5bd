// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"

namespace vireon::rate {

/// Lowest and highest output rates a RateRenderer accepts, in frames per second. The lowest is
/// the engine's own rate: the stream is never carried to a lower one.
inline constexpr std::uint32_t kMinOutputRate = 8000;
inline constexpr std::uint32_t kMaxOutputRate = 192000;

/// Fixed gain of every converted stream, the same at every rate. Carried faithfully to a higher
/// rate, the 8000 Hz stream shows peaks between its samples, up to about twice full scale for
/// the most chaotic settings, which a 16- or 24-bit device would clip. A power of two, so the
/// gain itself rounds nothing. The 8000 Hz stream is never scaled.
inline constexpr float kHeadroomGain = 0.5f;

/// Whether a RateRenderer can be made for `outputRate`. Any thread.
bool isSupportedOutputRate(std::uint32_t outputRate);

/// Where a RateRenderer's 8000 Hz samples come from: `render(context, output, count)` fills
/// `output` with the next `count` samples, on the rendering thread. The engine is the source
/// everywhere but in tests and measurements of the converter itself.
struct SampleSource {
    void (*render)(void* context, float* output, std::uint32_t count);
    void* context;
};

/// The engine (engine::renderBlock, always at 8000 Hz) carried to an output rate: the one
/// mechanism behind the audio callback, the offline renderer and the plugin.
///
/// At 8000 Hz it renders straight into the output, sample for sample. At any other rate it
/// renders just the engine samples a band-limited converter (a polyphase windowed sinc, 32
/// engine samples on each side; rate/SincFilter.h) needs for each block and converts them, scaled
/// by kHeadroomGain. Either way the output does not depend on how the stream is split into blocks.
///
/// Timing of events: output frame f belongs to engine sample engineSampleAt(f) =
/// floor(f * 8000 / rate), the one playing at its time; engine sample s starts at output frame
/// frameAt(s) = ceil(s * rate / 8000). At 48000 Hz frames 6s to 6s + 5 belong to sample s. To
/// apply an event (a MIDI message, a control change) at output frame f exactly:
///
///     renderer.render(out, f - renderer.framesRendered());   // the output before the event
///     renderer.alignForEvent();                             // the engine up to its sample
///     noteHandler.onMidiMessage(...);                       // the event itself
///
/// The event then takes effect at engine sample engineSampleAt(f), whatever the block sizes,
/// and is heard latencyFrames() frames after f. This is possible because the converter never
/// needs engine sample engineSampleAt(f) to produce the frames before f: its input starts with
/// a whole filter length of silence. An event given with no alignment takes effect at the next
/// engine sample rendered.
///
/// Threads: construction and destruction allocate and free, so they belong to a thread that may
/// (the UI thread, a plugin's instantiate). render, alignForEvent, reset and the counters belong
/// to the one thread that renders (the audio thread); they never lock, allocate, throw or call
/// the system.
class RateRenderer {
  public:
    /// Renders `state` with `adsr` at `outputRate`, which must satisfy isSupportedOutputRate
    /// (std::invalid_argument otherwise). Both must outlive the renderer. Allocates.
    RateRenderer(engine::SynthState& state, const engine::AdsrSettings& adsr,
                 std::uint32_t outputRate);

    /// The same for any other source of 8000 Hz samples; `source.context` must outlive the
    /// renderer. Allocates.
    RateRenderer(SampleSource source, std::uint32_t outputRate);
    ~RateRenderer();

    RateRenderer(const RateRenderer&) = delete;
    RateRenderer& operator=(const RateRenderer&) = delete;

    /// Fills `output` with the next `frameCount` frames (any count, 0 included). Rendering
    /// thread.
    void render(float* output, std::uint32_t frameCount);

    /// Renders the engine up to engineSampleAt(framesRendered()), into the converter's input,
    /// so that an event applied next takes effect exactly there. Does nothing at 8000 Hz, or
    /// when called again at the same frame. Rendering thread.
    void alignForEvent();

    /// Back to the state right after construction: no frames rendered, converter silent. The
    /// engine state is the caller's to reset. Rendering thread (or any, while nobody renders).
    void reset();

    /// Whether the output cannot change at once: the engine samples the converter may still
    /// draw on were all zero. Always true at 8000 Hz. Rendering thread.
    bool quiet() const;

    /// Goes on as a fresh renderer that has rendered `frame` frames of silence would: output
    /// frames then fall on the engine samples they fall on in a rendering that started `frame`
    /// frames earlier, such as a host's timeline. While quiet() nothing heard changes, since
    /// the converter then holds only silence either way. Rendering thread; never allocates.
    void restartAt(std::uint64_t frame);

    /// Lines the output frames up with a timeline that is at `frame` now (a host's transport;
    /// negative during a pre-roll), so that events at a timeline frame fall on the same engine
    /// sample wherever the timeline started: restarts when the two disagree and the output is
    /// quiet(); otherwise waits for a quiet moment to be told again. Rendering thread; never
    /// allocates.
    void followTimeline(std::int64_t frame);

    /// Frames handed out by render since construction or reset. Rendering thread.
    std::uint64_t framesRendered() const { return framesRendered_; }

    /// Engine samples rendered since construction or reset, including those waiting in the
    /// converter's input. Rendering thread.
    std::uint64_t engineSamplesRendered() const { return engineSamplesRendered_; }

    std::uint32_t outputRate() const { return outputRate_; }

    /// Whether this renderer converts (and scales by kHeadroomGain): every rate but 8000.
    bool converts() const { return converter_ != nullptr; }

    /// Frames between an event at output frame f and the middle of its sound's arrival: the
    /// converter's delay, 0 at 8000 Hz. What a plugin reports as its latency. Any thread.
    std::uint32_t latencyFrames() const { return latencyFrames_; }

    /// The engine sample that output frame `frame` belongs to. Any thread.
    std::uint64_t engineSampleAt(std::uint64_t frame) const;

    /// The first output frame that belongs to engine sample `sample`: where an event meant for
    /// that engine sample goes. Any thread.
    std::uint64_t frameAt(std::uint64_t sample) const;

    /// The converter behind the renderer (rate/Converter.h), private to this library.
    class Converter;

  private:
    void renderEngine(std::uint32_t count);

    struct EngineContext {
        engine::SynthState* state;
        const engine::AdsrSettings* adsr;
    };

    EngineContext engine_{};
    SampleSource source_;
    std::uint32_t outputRate_;
    // The ratio of output to engine rate in lowest terms.
    std::uint64_t framesPerCycle_;
    std::uint64_t samplesPerCycle_;
    std::uint32_t latencyFrames_ = 0;
    std::unique_ptr<Converter> converter_;
    // Engine samples rendered but not yet taken by the converter: [stagedBegin_, stagedEnd_).
    std::vector<float> staging_;
    std::uint32_t stagedBegin_ = 0;
    std::uint32_t stagedEnd_ = 0;
    std::uint64_t framesRendered_ = 0;
    std::uint64_t engineSamplesRendered_ = 0;
    // The latest engine samples that were all zero, counted back from the last one.
    std::uint64_t quietSamples_ = 0;
    // Feeds the converter silence instead of asking the source, while restartAt catches up.
    bool silentSource_ = false;
};

}  // namespace vireon::rate
