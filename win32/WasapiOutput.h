// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "live/LiveInstrument.h"
#include "live/ScopeTap.h"
#include "settings/LatencyFile.h"

namespace vireon::win32 {

/// Fans a block of mono samples out to an interleaved buffer of `channels` channels: the first
/// two channels (front left and right, or the only one) carry the sound, any others are silent.
/// RT: never allocates. `interleaved` holds mono.size() * channels samples.
void fanOut(std::span<const float> mono, float* interleaved, std::uint32_t channels) noexcept;

/// The default output device through WASAPI in shared mode, at the device's own mix rate, which
/// the instrument's converter carries its 8000 Hz stream to. Standard latency asks for a 75 ms
/// buffer, low latency for the device's minimum period. Everything of WASAPI lives on one
/// thread of its own, the audio thread: it opens the device, then renders each period as the
/// device asks for it (an event per period) and never locks, allocates or calls the system
/// beyond the buffer calls and that wait.
class WasapiOutput {
  public:
    /// Plays `instrument`, which must outlive the output.
    explicit WasapiOutput(live::LiveInstrument& instrument);
    /// Stops and closes, waiting as long as it takes.
    ~WasapiOutput();
    WasapiOutput(const WasapiOutput&) = delete;
    WasapiOutput& operator=(const WasapiOutput&) = delete;

    /// The latency the next open() asks for. UI thread.
    void setLatency(settings::Latency latency) { latency_ = latency; }

    /// Opens the default output device, stopped, and sets the instrument to its rate. False with
    /// errorText() when there is no device or it cannot be opened. UI thread.
    bool open();

    /// Stops the sound and opens the device again at `latency`, started, calling `serve` while
    /// it waits as shutdown() does. False when the audio thread did not end within `deadline`;
    /// the sound is then lost until the program ends. A device that does not open again leaves
    /// the program without sound (outputLatency() says so). UI thread, after start().
    bool reopen(settings::Latency latency, const std::function<void()>& serve,
                std::chrono::milliseconds deadline);

    /// How long a sample takes from the instrument to the device while the output is open: the
    /// buffer WASAPI gave and the stream's own latency. Nothing without an open output. UI thread.
    std::optional<double> outputLatency() const { return outputLatency_; }

    /// Why open() failed: one sentence.
    const std::string& errorText() const { return errorText_; }

    /// The device's rate, once open. UI thread.
    std::uint32_t rate() const { return rate_; }
    std::uint32_t channels() const { return channels_; }

    /// Starts the sound. From here until shutdown the audio thread renders the instrument.
    /// UI thread.
    void start();

    /// From now on the audio thread also copies what it plays into `tap` (none: stops), which
    /// must stay alive until the output has shut down. UI thread.
    void setScopeTap(live::ScopeTap* tap) { scopeTap_.store(tap, std::memory_order_release); }

    /// Stops the sound at once and closes the device, calling `serve` (which handles one window
    /// message, if any) about every millisecond meanwhile, so the windows stay alive. False
    /// when the audio thread did not end within `deadline`. UI thread.
    bool shutdown(const std::function<void()>& serve, std::chrono::milliseconds deadline);

  private:
    static DWORD WINAPI threadMain(void* self);
    void run();
    /// Opens the device on the audio thread; false with errorText_.
    bool openOnAudioThread(struct Device& device);
    void play(struct Device& device);
    void closeEvents();

    live::LiveInstrument& instrument_;
    HANDLE thread_ = nullptr;
    // Set by the audio thread once open has succeeded or failed.
    HANDLE opened_ = nullptr;
    HANDLE startRequested_ = nullptr;
    HANDLE stopRequested_ = nullptr;
    // Written by the audio thread before it sets opened_, read after.
    bool openSucceeded_ = false;
    std::string errorText_;
    std::uint32_t rate_ = 0;
    std::uint32_t channels_ = 0;
    settings::Latency latency_ = settings::Latency::Standard;
    // Written by the audio thread before it sets opened_, read after.
    std::optional<double> outputLatency_;
    std::atomic<live::ScopeTap*> scopeTap_{nullptr};
};

}  // namespace vireon::win32
