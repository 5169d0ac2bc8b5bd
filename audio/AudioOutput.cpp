#include "audio/AudioOutput.h"

#include <portaudio.h>
#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "audio/JackPresence.h"
#include "audio/QuietAudioLibraries.h"
#include "engine/Constants.h"
#include "engine/RenderBlock.h"

namespace vireon::audio {

namespace detail {

enum class ShutdownProgress : int { Running, Terminated, LeftRunning };

struct StreamContext {
    engine::SynthState& state;
    const engine::AdsrSettings& adsr;
    std::atomic<ShutdownProgress> shutdown{ShutdownProgress::Running};
};

}  // namespace detail

namespace {

using detail::ShutdownProgress;

constexpr int kChannels = 1;
constexpr PaTime kSuggestedLatency = 0.075;
// The host chooses the block size, and may change it from one callback to the next.
constexpr unsigned long kFramesPerBuffer = paFramesPerBufferUnspecified;
constexpr std::chrono::milliseconds kPollInterval{1};

int renderCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* /*timeInfo*/,
                   PaStreamCallbackFlags /*statusFlags*/, void* userData) {
    auto* context = static_cast<detail::StreamContext*>(userData);
    engine::renderBlock(context->state, context->adsr, static_cast<float*>(output),
                        static_cast<std::uint32_t>(frameCount));
    return paContinue;
}

// Where the shutdown worker resumes when the library aborts the process during Pa_Terminate;
// null on every other thread, and on the worker outside that call.
thread_local sigjmp_buf* terminationLanding = nullptr;

void landAbortDuringTermination(int /*signal*/) {
    if (terminationLanding != nullptr) {
        siglongjmp(*terminationLanding, 1);
    }
    // Some other thread aborts: that ends the process as it always would.
    ::signal(SIGABRT, SIG_DFL);
    ::raise(SIGABRT);
}

// The server can still vanish after the check that precedes termination, while the library
// closes its JACK client. The library's JACK host API asserts that the closing succeeds and
// aborts the process otherwise, although nothing is lost: the settings are saved and the
// process is ending. On this thread, during this call only, that abort is taken to mean what
// the check would have found, and the library is left as it is. Returns whether it terminated.
bool terminateUnlessTheServerVanishes() {
    struct sigaction landing {};
    landing.sa_handler = landAbortDuringTermination;
    sigemptyset(&landing.sa_mask);
    struct sigaction previous {};
    if (::sigaction(SIGABRT, &landing, &previous) != 0) {
        Pa_Terminate();
        return true;
    }
    sigjmp_buf resumeHere;
    // The jump skips the rest of the library's termination and abort's; the library is never
    // called again and the process ends at once, so nothing they would have done is missed.
    // The jump also restores the signal mask saved here.
    if (sigsetjmp(resumeHere, 1) != 0) {
        terminationLanding = nullptr;
        ::sigaction(SIGABRT, &previous, nullptr);
        return false;
    }
    terminationLanding = &resumeHere;
    Pa_Terminate();
    terminationLanding = nullptr;
    ::sigaction(SIGABRT, &previous, nullptr);
    return true;
}

// Runs on the shutdown worker. It may be abandoned inside any of these calls, so it touches
// nothing but the library and the context it co-owns.
void stopAndTerminate(const std::shared_ptr<detail::StreamContext>& context, PaStream* stream,
                      bool jackInUse) {
    if (stream != nullptr) {
        Pa_AbortStream(stream);
        // An error result means the stream is as good as gone: stop waiting for it.
        while (Pa_IsStreamActive(stream) == 1) {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    // Once the JACK server has vanished, terminating the library crashes the process (inside
    // the closing of the library's JACK clients). The process is about to end and the system
    // reclaims everything, so the library is left as it is.
    if (jackInUse && !jackServerReachable()) {
        context->shutdown.store(ShutdownProgress::LeftRunning, std::memory_order_release);
        return;
    }
    // Terminating also closes the stream.
    bool terminated = true;
    if (jackInUse) {
        terminated = terminateUnlessTheServerVanishes();
    } else {
        Pa_Terminate();
    }
    context->shutdown.store(
        terminated ? ShutdownProgress::Terminated : ShutdownProgress::LeftRunning,
        std::memory_order_release);
}

}  // namespace

AudioOutput::AudioOutput(engine::SynthState& state, const engine::AdsrSettings& adsr)
    : shared_(std::make_shared<detail::StreamContext>(state, adsr)) {}

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

    PaStream* stream = nullptr;
    lastError_ = Pa_OpenStream(&stream, nullptr, &outputParameters, engine::kSampleRate,
                               kFramesPerBuffer, paNoFlag, renderCallback, shared_.get());
    if (lastError_ != paNoError) {
        return false;
    }
    stream_ = stream;
    // PortAudio's JACK host API only comes up when a JACK server answers during initialisation.
    jackInUse_ = Pa_HostApiTypeIdToHostApiIndex(paJACK) >= 0;
    return true;
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
