// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/JackRecorder.h"

#include <cerrno>
#include <regex>
#include <stdexcept>

#include "tests/support/Samples.h"
#include "tests/support/Waiting.h"

namespace vireon::testsupport {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 5ms;

}  // namespace

JackRecorder::JackRecorder(const std::string& serverName, std::size_t capacity) {
    jack_status_t status{};
    client_ = jack_client_open("vireon-recorder",
                               static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                               &status, serverName.c_str());
    if (client_ == nullptr) {
        throw std::runtime_error("cannot open a JACK client on server " + serverName + " (status " +
                                 std::to_string(status) + ")");
    }
    ring_ = jack_ringbuffer_create(capacity * sizeof(float));
    input_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (ring_ == nullptr || input_ == nullptr ||
        jack_set_process_callback(client_, &JackRecorder::process, this) != 0 ||
        jack_set_xrun_callback(client_, &JackRecorder::lateCycle, this) != 0 ||
        jack_activate(client_) != 0) {
        jack_client_close(client_);
        if (ring_ != nullptr) {
            jack_ringbuffer_free(ring_);
        }
        throw std::runtime_error("cannot set up the JACK recorder on server " + serverName);
    }
}

JackRecorder::~JackRecorder() {
    jack_client_close(client_);
    jack_ringbuffer_free(ring_);
}

int JackRecorder::process(jack_nframes_t frameCount, void* self) {
    auto& recorder = *static_cast<JackRecorder*>(self);
    if (!recorder.recording_.load(std::memory_order_acquire)) {
        return 0;
    }
    const auto* input = static_cast<const char*>(jack_port_get_buffer(recorder.input_, frameCount));
    const std::size_t bytes = std::size_t{frameCount} * sizeof(float);
    // A block either fits whole or is counted as lost, so the recording never holds half of one.
    if (jack_ringbuffer_write_space(recorder.ring_) < bytes) {
        recorder.dropped_.fetch_add(frameCount, std::memory_order_relaxed);
        return 0;
    }
    jack_ringbuffer_write(recorder.ring_, input, bytes);
    return 0;
}

int JackRecorder::lateCycle(void* self) {
    static_cast<JackRecorder*>(self)->lateCycles_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

std::string JackRecorder::connect(const std::string& pattern, std::chrono::milliseconds timeout) {
    const std::regex wanted(pattern);
    std::string seen;
    std::string found;
    const bool connected = waitUntil(
        [&] {
            seen.clear();
            found.clear();
            if (const char** ports =
                    jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
                for (const char** port = ports; *port != nullptr; ++port) {
                    seen += std::string(" ") + *port;
                    if (found.empty() && std::regex_search(*port, wanted)) {
                        found = *port;
                    }
                }
                jack_free(ports);
            }
            // A port seen while the audio library probes its devices may be gone a moment
            // later; the lasting one appears soon after.
            const int result =
                found.empty() ? -1 : jack_connect(client_, found.c_str(), jack_port_name(input_));
            return result == 0 || result == EEXIST;
        },
        timeout, kPollInterval);
    if (connected) {
        recording_.store(true, std::memory_order_release);
        return found;
    }
    if (!found.empty()) {
        throw std::runtime_error("cannot connect " + found + " to the recorder");
    }
    throw std::runtime_error("no JACK output port matches " + pattern + "; ports:" + seen);
}

bool JackRecorder::waitForSamples(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            drain();
            return samples_.size() >= count;
        },
        timeout, kPollInterval);
}

std::vector<float> JackRecorder::recordSound(std::size_t count, std::chrono::milliseconds timeout) {
    return waitForSound([&] { return samples(); }, count, timeout, kPollInterval);
}

const std::vector<float>& JackRecorder::samples() {
    drain();
    return samples_;
}

std::uint32_t JackRecorder::sampleRate() const {
    return jack_get_sample_rate(client_);
}

void JackRecorder::drain() {
    const std::size_t available = jack_ringbuffer_read_space(ring_) / sizeof(float);
    const std::size_t start = samples_.size();
    samples_.resize(start + available);
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(samples_.data() + start),
                         available * sizeof(float));
}

}  // namespace vireon::testsupport
