// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/jack.h>
#include <jack/ringbuffer.h>

namespace vireon::testsupport {

/// A JACK client that records one output port of another client, sample for sample, as the
/// float32 values JACK carries. Recording starts once the port is connected.
///
/// Its process callback only copies into a lock-free ring buffer; the test thread drains the
/// ring buffer while it waits. All member functions are for the test thread.
class JackRecorder {
  public:
    /// Opens the client on server `serverName` (never starting one) and activates it.
    /// `capacity` is how many samples may wait between two drains. Throws std::runtime_error.
    explicit JackRecorder(const std::string& serverName, std::size_t capacity = 1 << 20);
    ~JackRecorder();

    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    /// Waits until an audio output port whose full name ("client:port") matches the ECMAScript
    /// regular expression `pattern` exists, connects it to the recorder and returns its name.
    /// Throws std::runtime_error, listing the ports it saw, after `timeout`.
    std::string connect(const std::string& pattern, std::chrono::milliseconds timeout);

    /// Waits until at least `count` samples have been recorded in all; false after `timeout`.
    bool waitForSamples(std::size_t count, std::chrono::milliseconds timeout);

    /// The recording from its first non-zero sample on, once `count` samples of it are in or
    /// `timeout` has passed (see waitForSound).
    std::vector<float> recordSound(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

    /// Everything recorded so far.
    const std::vector<float>& samples();

    /// Samples lost because the test thread drained too slowly; a trustworthy recording has 0.
    std::uint64_t droppedSamples() const { return dropped_.load(std::memory_order_relaxed); }

    /// Periods the server reported late (xruns) since the recorder started: a client that
    /// missed its deadline, which leaves a gap in what it played.
    std::uint64_t lateCycles() const { return lateCycles_.load(std::memory_order_relaxed); }

    /// The server's sample rate.
    std::uint32_t sampleRate() const;

  private:
    static int process(jack_nframes_t frameCount, void* self);
    static int lateCycle(void* self);
    void drain();

    jack_client_t* client_ = nullptr;
    jack_port_t* input_ = nullptr;
    jack_ringbuffer_t* ring_ = nullptr;
    std::atomic<bool> recording_{false};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> lateCycles_{0};
    std::vector<float> samples_;
};

}  // namespace vireon::testsupport
