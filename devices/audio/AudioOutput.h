// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "devices/audio/AudioStream.h"
#include "devices/audio/JackOutput.h"
#include "devices/audio/JackPresence.h"
#include "devices/servers/OutputSupervisor.h"
#include "devices/servers/ServerSocketWatch.h"
#include "live/LiveInstrument.h"

namespace vireon::audio {

namespace detail {
struct StreamContext;
enum class ShutdownProgress : int;
}  // namespace detail

/// The program's one audio output stream: mono 32-bit float on the default output device,
/// playing the live instrument given here. It runs at
/// kSampleRate; a device that refuses that rate gets the stream at its own default rate,
/// carried there by rate::RateRenderer.
///
/// Lifecycle: openAudio, then startAudio when the rest of the program is ready, then shutdownAudio
/// as the last step before the process ends. When openAudio fails, show fatalErrorText and call
/// releaseAfterFatalError instead. The instrument must outlive the stream; after an
/// abandoned shutdown that means until the process ends.
class AudioOutput final : public AudioStream {
  public:
    /// How a JACK server that answers at start is played: through the audio library's default
    /// device like any other output, or directly, by one JACK client that also offers Vireon's
    /// own MIDI input and applies its events at their frames.
    enum class JackPlay { ThroughLibrary, Directly };

    /// UI thread. Nothing is initialised until openAudio. While a stream runs, its callback is
    /// the instrument's rendering side; otherwise checkOutput applies its events.
    explicit AudioOutput(live::LiveInstrument& instrument,
                         JackPlay jackPlay = JackPlay::ThroughLibrary);

    /// UI thread. Releases the library if the caller did not; a stream abandoned by
    /// shutdownAudio is left alone.
    ~AudioOutput();

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    /// Initialises the audio library and opens the stream, stopped: at kSampleRate, or when the
    /// device refuses that rate (paInvalidSampleRate), at the device's default rate, converted.
    /// Returns false when initialisation or opening fails; lastError then holds the library's
    /// error code. When playsJackDirectly(), the JACK server is played directly instead, at its
    /// rate, and the library is used only if that fails. Call once. UI thread.
    bool openAudio() override;

    /// Whether the output plays a JACK server directly, with Vireon's own MIDI input on the
    /// same client: asked for, a JACK server answers, and either that server is PipeWire itself
    /// (PipeWire's libjack) or ALSA's default output is not a desktop sound server's (PipeWire,
    /// PulseAudio), where the user has put the sound even with jackd beside it. Decided at the
    /// first call, before openAudio, and false from an openAudio that could not open the direct
    /// client on. UI thread.
    bool offersOwnJackMidiInput() override;

    /// The rate the stream was opened at: kSampleRate, or the device's rate when it is
    /// converted; 0 before a successful openAudio. UI thread.
    std::uint32_t outputRate() const { return outputRate_; }

    /// How much the stream buffers: before openAudio, for the first opening; later the stream
    /// is let go and opened again at once with the new latency, as after its server's return
    /// (see checkOutput). Call before openAudio or after startAudio. UI thread.
    void setLatency(settings::Latency latency) override;

    /// The open stream's output latency as the library reports it (for the direct JACK output,
    /// as the server reports it), in seconds; nothing while no stream is open. UI thread.
    std::optional<double> outputLatency() const override;

    /// Sets the tap's rate to the stream's, then attaches or detaches it. UI thread.
    void setScopeTap(live::ScopeTap* tap) override;

    /// The library's error code from the most recent initialisation or open; 0 means none.
    /// UI thread.
    int lastError() const { return lastError_; }

    /// The library's own text for lastError, copied. UI thread.
    std::string fatalErrorText() const override;

    /// After a failed openAudio: terminates the library if its initialisation had succeeded, so
    /// the library's reference count is balanced. Does nothing the second time. UI thread.
    void releaseAfterFatalError() override;

    /// Starts the stream; renderBlock runs on the library's audio thread from here until
    /// shutdown. A failure is deliberately not reported: the program then runs silently. A start
    /// that does not return within a deadline (its server went away after the stream opened)
    /// gives the library up as an abandoned shutdown does: the output is lost for good, and
    /// shutdownAudio returns false. UI thread.
    void startAudio() override;

    /// Looks after the stream; call it a few times a second from the event loop, not after
    /// shutdownAudio. A stream whose callback has not run for a while, or that the library
    /// reports inactive, is aborted and closed within a second, and the library terminated, so
    /// nothing spins or prints while its server is away. From then on the default output is
    /// opened again when a server's socket appears, and otherwise ever more rarely (see
    /// servers::ReopenSchedule), with the same rules as openAudio, on a freshly initialised
    /// library, and started once it opens; only the device the program started on is taken,
    /// never a stand-in the library offers meanwhile. When the JACK server goes away, its clients
    /// are left alone for good (see JackServerWatch and servers::OutputSupervisor, which decides
    /// each of these steps); a program that played on the library's own JACK device plays the
    /// next server directly (see JackOutput). UI thread.
    OutputCheck checkOutput() override;

    /// Aborts the stream, waits until it is inactive and terminates the library. The library
    /// calls run on a worker thread while this (UI) thread keeps calling
    /// `waitForWindowEvent(1 ms)`, which should wait up to that long and dispatch at most one
    /// pending window event, so the window stays responsive.
    ///
    /// Returns true when the library has shut down; the callback will never run again.
    /// Returns false when the library could not be shut down: its calls did not finish within
    /// `deadline` (they can hang for ever once the audio server has vanished under a running
    /// stream), or a JACK server it has used has vanished, in which case closing its connections
    /// could crash the process and terminating it would abort the process. The library is then left
    /// as it is, possibly with calls stuck on a worker thread and the audio thread still holding
    /// the state, so the caller must end the process at once with `_exit(0)`: no destructors, no
    /// static clean-up. Does nothing and returns true when the library is not initialised. UI
    /// thread.
    bool shutdownAudio(const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
                       std::chrono::milliseconds deadline = std::chrono::seconds(3)) override;

  private:
    using Release = servers::OutputSupervisor::Release;
    using State = servers::OutputSupervisor::State;

    bool initialiseLibrary();
    bool openDefaultStream();
    bool reopen();
    bool openJackOutputStream();
    bool openDirectJack();
    void streamOpened(std::uint32_t rate);
    // `byChoice` when the stream is to open again with other settings, not lost.
    void releaseDeadStream(std::chrono::steady_clock::time_point now, bool byChoice = false);
    // Stops `stream` on a worker, waiting at most `deadline` while calling waitForWindowEvent;
    // abandons the library when the worker does not finish in time.
    detail::ShutdownProgress runStop(
        void* stream, Release release,
        const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
        std::chrono::milliseconds deadline);
    void abandonLibrary();

    // Reached by the audio callback and the shutdown worker, either of which may outlive this
    // object after an abandoned shutdown, so it lives in its own reference-counted block.
    std::shared_ptr<detail::StreamContext> shared_;
    // The library's stream, or the direct JACK output, while the supervisor says one is open.
    void* stream_ = nullptr;
    std::shared_ptr<JackOutput> jackOutput_;
    JackPlay jackPlay_;
    // Decided once by offersOwnJackMidiInput: the output is the program's one JACK client.
    std::optional<bool> direct_;
    int lastError_ = 0;
    std::uint32_t outputRate_ = 0;
    settings::Latency latency_ = settings::Latency::Standard;
    double outputLatency_ = 0.0;
    servers::OutputSupervisor supervisor_;
    JackServerWatch jackWatch_;
    // The device the first stream opened on, by name and host API; later streams open only
    // on the same device.
    std::optional<std::string> deviceName_;
    int deviceHostApi_ = 0;
    // The name of the library's own JACK client on the first server.
    std::string jackClientName_;
    servers::ServerSocketWatch socketWatch_;
};

}  // namespace vireon::audio
