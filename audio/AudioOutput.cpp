#include "audio/AudioOutput.h"

#include <pa_jack.h>
#include <portaudio.h>

#include <cmath>
#include <system_error>
#include <thread>

#include "audio/JackPresence.h"
#include "audio/QuietAudioLibraries.h"
#include "audio/StreamCallback.h"
#include "engine/Constants.h"

namespace vireon::audio {

namespace detail {

int renderCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* /*timeInfo*/,
                   PaStreamCallbackFlags /*statusFlags*/, void* context) {
    auto& stream = *static_cast<StreamContext*>(context);
    stream.renderer->render(static_cast<float*>(output), static_cast<std::uint32_t>(frameCount));
    if (ScopeTap* tap = stream.scopeTap.load(std::memory_order_acquire)) {
        tap->ring.push(static_cast<const float*>(output), frameCount);
    }
    return paContinue;
}

}  // namespace detail

namespace {

using detail::ShutdownProgress;

constexpr int kChannels = 1;
constexpr PaTime kSuggestedLatency = 0.075;
// The host chooses the block size, and may change it from one callback to the next.
constexpr unsigned long kFramesPerBuffer = paFramesPerBufferUnspecified;
constexpr std::chrono::milliseconds kPollInterval{1};
// What patchbays show for the JACK client of PortAudio's own JACK host API.
constexpr const char* kJackClientName = "Vireon";

// The device's own rate, when the stream can be carried to it: a whole number of frames per
// second that the converter takes. 0 otherwise.
std::uint32_t convertibleDefaultRate(PaDeviceIndex device) {
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (info == nullptr || !(info->defaultSampleRate > 0.0) ||
        info->defaultSampleRate != std::floor(info->defaultSampleRate) ||
        info->defaultSampleRate > rate::kMaxOutputRate) {
        return 0;
    }
    const auto rate = static_cast<std::uint32_t>(info->defaultSampleRate);
    return rate::isSupportedOutputRate(rate) ? rate : 0;
}

// Opens the stream at `rate`, rendered through a renderer made for that rate.
PaError openStreamAt(detail::StreamContext& context, const PaStreamParameters& parameters,
                     std::uint32_t rate, PaStream*& stream) {
    context.renderer = std::make_unique<rate::RateRenderer>(context.state, context.adsr, rate);
    return Pa_OpenStream(&stream, nullptr, &parameters, rate, kFramesPerBuffer, paNoFlag,
                         detail::renderCallback, &context);
}

// Runs on the shutdown worker. It may be abandoned inside any of these calls, so it touches
// nothing but the library and the context it co-owns.
//
// Once the JACK server has vanished, closing the library's JACK connections can crash the
// process, and its JACK host API aborts it when closing its own client fails. The settings are
// saved and the process is about to end, so then the library is left as it is and the caller
// ends the process. The server is asked before each step that closes connections: before the
// stream's, and again before the library's own, since the first closing may be what a dying
// server does not survive.
void stopAndTerminate(const std::shared_ptr<detail::StreamContext>& context, PaStream* stream,
                      bool jackInUse) {
    const auto serverGone = [&] {
        if (jackInUse && !jackServerReachable()) {
            context->shutdown.store(ShutdownProgress::LeftRunning, std::memory_order_release);
            return true;
        }
        return false;
    };
    if (stream != nullptr) {
        Pa_AbortStream(stream);
        // An error result means the stream is as good as gone: stop waiting for it.
        while (Pa_IsStreamActive(stream) == 1) {
            std::this_thread::sleep_for(kPollInterval);
        }
        if (serverGone()) {
            return;
        }
        Pa_CloseStream(stream);
    }
    if (serverGone()) {
        return;
    }
    Pa_Terminate();
    context->shutdown.store(ShutdownProgress::Terminated, std::memory_order_release);
}

}  // namespace

AudioOutput::AudioOutput(engine::SynthState& state, const engine::AdsrSettings& adsr)
    // Braces, not make_shared: clang 14 cannot build an aggregate from parentheses.
    : shared_(new detail::StreamContext{state, adsr}) {}

AudioOutput::~AudioOutput() {
    if (library_ == Library::Initialised) {
        shutdownAudio([](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); });
    }
}

bool AudioOutput::openAudio() {
    if (library_ != Library::Uninitialised) {
        return stream_ != nullptr;
    }
    silenceAudioLibraryMessages();
    // Only takes effect before initialisation.
    PaJack_SetClientName(kJackClientName);
    lastError_ = Pa_Initialize();
    if (lastError_ != paNoError) {
        return false;
    }
    library_ = Library::Initialised;

    // The default device is passed on untested: with no device the open fails with the
    // library's own error, which is the message the user sees.
    PaStreamParameters outputParameters{};
    outputParameters.device = Pa_GetDefaultOutputDevice();
    outputParameters.channelCount = kChannels;
    outputParameters.sampleFormat = paFloat32;
    outputParameters.suggestedLatency = kSuggestedLatency;
    outputParameters.hostApiSpecificStreamInfo = nullptr;

    // The engine's own rate first. Only a device that refuses it gets the stream at its own
    // default rate, converted; every other failure is reported as it is.
    PaStream* stream = nullptr;
    std::uint32_t rate = static_cast<std::uint32_t>(engine::kSampleRate);
    lastError_ = openStreamAt(*shared_, outputParameters, rate, stream);
    if (lastError_ == paInvalidSampleRate) {
        if (const std::uint32_t deviceRate = convertibleDefaultRate(outputParameters.device)) {
            rate = deviceRate;
            lastError_ = openStreamAt(*shared_, outputParameters, rate, stream);
        }
    }
    if (lastError_ != paNoError) {
        return false;
    }
    stream_ = stream;
    outputRate_ = rate;
    // PortAudio's JACK host API only comes up when a JACK server answers during initialisation.
    jackInUse_ = Pa_HostApiTypeIdToHostApiIndex(paJACK) >= 0;
    return true;
}

void AudioOutput::setScopeTap(ScopeTap* tap) {
    if (tap != nullptr) {
        tap->rate.store(outputRate_, std::memory_order_relaxed);
    }
    shared_->scopeTap.store(tap, std::memory_order_release);
}

std::string AudioOutput::fatalErrorText() const {
    return Pa_GetErrorText(lastError_);
}

void AudioOutput::releaseAfterFatalError() {
    if (library_ == Library::Initialised) {
        library_ = Library::Uninitialised;
        stream_ = nullptr;
        Pa_Terminate();
    }
}

void AudioOutput::startAudio() {
    if (stream_ != nullptr) {
        Pa_StartStream(stream_);
    }
}

bool AudioOutput::shutdownAudio(
    const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
    std::chrono::milliseconds deadline) {
    if (library_ == Library::Abandoned) {
        return false;
    }
    if (library_ == Library::Uninitialised) {
        return true;
    }
    PaStream* const stream = stream_;
    stream_ = nullptr;
    library_ = Library::Uninitialised;
    shared_->shutdown.store(ShutdownProgress::Running);

    std::thread worker;
    try {
        worker = std::thread(stopAndTerminate, shared_, stream, jackInUse_);
    } catch (const std::system_error&) {
        // Without a thread to spare, shut down here and accept the risk of waiting for ever.
        stopAndTerminate(shared_, stream, jackInUse_);
    }

    if (worker.joinable()) {
        const auto giveUpAt = std::chrono::steady_clock::now() + deadline;
        try {
            while (shared_->shutdown.load(std::memory_order_acquire) == ShutdownProgress::Running) {
                if (std::chrono::steady_clock::now() >= giveUpAt) {
                    worker.detach();
                    library_ = Library::Abandoned;
                    return false;
                }
                waitForWindowEvent(kPollInterval);
            }
        } catch (...) {
            worker.detach();
            library_ = Library::Abandoned;
            throw;
        }
        worker.join();
    }

    if (shared_->shutdown.load() == ShutdownProgress::LeftRunning) {
        library_ = Library::Abandoned;
        // The library still holds the context as its callback's user data, so it must outlive
        // this object: it is deliberately never released.
        static_cast<void>(new std::shared_ptr<detail::StreamContext>(shared_));
        return false;
    }
    return true;
}

}  // namespace vireon::audio
