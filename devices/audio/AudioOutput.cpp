// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/audio/AudioOutput.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <pa_jack.h>
#include <portaudio.h>

#include <cmath>
#include <string_view>
#include <system_error>
#include <thread>

#include "devices/audio/JackOutput.h"
#include "devices/audio/JackPresence.h"
#include "devices/audio/QuietAudioLibraries.h"
#include "devices/audio/StreamCallback.h"
#include "devices/servers/CallWithin.h"
#include "devices/servers/JackProbe.h"
#include "engine/Constants.h"

namespace vireon::audio {

namespace detail {

void playBlock(StreamContext& context, float* block, unsigned long frameCount,
               const live::LiveInstrument::TimedMessages* timed, live::OutputTimes times) noexcept {
    if (timed != nullptr) {
        context.instrument.render(block, static_cast<std::uint32_t>(frameCount), *timed);
    } else {
        context.instrument.render(block, static_cast<std::uint32_t>(frameCount), times);
    }
    if (live::ScopeTap* tap = context.scopeTap.load(std::memory_order_acquire)) {
        tap->ring.push(block, frameCount);
    }
    context.callbacks.fetch_add(1, std::memory_order_relaxed);
}

namespace {

// One of the library's times in nanoseconds, or 0 for none or one too far out for 64 bits.
// Whether it is on the live clock is the instrument's to judge: the ALSA host API reports the
// device's time stamp plus what it still holds, and the stamps are on the monotonic clock through
// PipeWire's ALSA plugin but on the wall clock through ALSA's JACK plugin.
live::ClockReading nanoseconds(PaTime seconds) noexcept {
    constexpr PaTime kLongest = 9e9;
    return seconds > 0.0 && seconds < kLongest ? static_cast<live::ClockReading>(seconds * 1e9) : 0;
}

}  // namespace

int renderCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags /*statusFlags*/,
                   void* context) {
    live::OutputTimes times;
    if (timeInfo != nullptr) {
        times = {nanoseconds(timeInfo->currentTime), nanoseconds(timeInfo->outputBufferDacTime)};
    }
    playBlock(*static_cast<StreamContext*>(context), static_cast<float*>(output), frameCount,
              nullptr, times);
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
// How long the user-interface thread waits for a dead stream to be aborted and closed.
constexpr std::chrono::milliseconds kReleaseDeadline{1000};
// How long it waits for a stream to start. A start takes milliseconds; one that waits on a
// server which went away after the stream opened never ends.
constexpr std::chrono::milliseconds kStartDeadline{2000};
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

// Whether ALSA's default output is a desktop sound server's plugin (PipeWire, PulseAudio): the
// user has put the sound there, so it goes there even while jackd runs beside it.
bool alsaDefaultIsSoundServer() {
    snd_config_t* top = nullptr;
    if (snd_config_update_ref(&top) < 0) {
        return false;
    }
    bool server = false;
    snd_config_t* pcm = nullptr;
    if (snd_config_search_definition(top, "pcm", "default", &pcm) >= 0) {
        snd_config_t* type = nullptr;
        const char* name = nullptr;
        if (snd_config_search(pcm, "type", &type) >= 0 &&
            snd_config_get_string(type, &name) >= 0) {
            const std::string_view plugin(name);
            server = plugin == "pipewire" || plugin == "pulse";
        }
        snd_config_delete(pcm);
    }
    snd_config_unref(top);
    return server;
}

// Whether the JACK that answers is PipeWire's own: its libjack stands in for JACK's (under
// `pw-jack`, or on the library path) and reaches no server but PipeWire, so the JACK server then
// is the desktop's sound server itself. It says so in its version text, "3.0.0.0 (using PipeWire
// 0.3.65)", where JACK's own libjack gives its bare number.
bool jackIsPipeWire() {
    const char* version = jack_get_version_string();
    return version != nullptr &&
           std::string_view(version).find("PipeWire") != std::string_view::npos;
}

// How the user-interface thread waits for the library's worker when no window event may be
// served meanwhile: an event could reach the library while the worker is still in it.
void sleepWithoutEvents(std::chrono::milliseconds wait) {
    std::this_thread::sleep_for(wait);
}

// Opens the stream at `rate`, with the instrument playing on at that rate.
PaError openStreamAt(detail::StreamContext& context, const PaStreamParameters& parameters,
                     std::uint32_t rate, PaStream*& stream) {
    context.instrument.instrument().changeRate(rate);
    return Pa_OpenStream(&stream, nullptr, &parameters, rate, kFramesPerBuffer, paNoFlag,
                         detail::renderCallback, &context);
}

// Runs on a worker that the user-interface thread may abandon inside any of these calls, so it
// touches nothing but the library and what it co-owns.
//
// Once the JACK server that the library's clients belonged to has gone, closing them can crash
// the process, and the library's JACK host API aborts it when closing its own client fails (see
// JackServerWatch). Then the library is left as it is: the caller either lives on with it or
// ends the process. The watch is asked again before each step that closes connections, since a
// server can go away during the stop.
void stopAndRelease(const std::shared_ptr<detail::StreamContext>& context, PaStream* stream,
                    bool streamOnJackDevice, const std::shared_ptr<JackOutput>& jackOutput,
                    servers::OutputSupervisor::Release release, bool jackInUse,
                    const std::shared_ptr<const std::atomic<bool>>& jackLost) {
    const auto jackGone = [&] {
        if (!jackInUse) {
            return false;
        }
        // Without a watch nobody can tell whether the server is still there. The watch hears
        // of a server's end a moment after it happened; asking the server itself covers that
        // moment, and is safe while the watch has not heard of an end.
        return jackLost == nullptr || jackLost->load(std::memory_order_acquire) ||
               !servers::jackServerReachable();
    };
    const auto finish = [&](ShutdownProgress progress) {
        context->shutdown.store(progress, std::memory_order_release);
    };
    // Aborting a stream of the library's own JACK device waits for the server's next cycle, which
    // never comes once the server has gone.
    if (stream != nullptr && !(streamOnJackDevice && jackGone())) {
        Pa_AbortStream(stream);
        // An error result means the stream is as good as gone: stop waiting for it.
        while (Pa_IsStreamActive(stream) == 1) {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    if (!release.close || jackGone()) {
        if (jackOutput != nullptr) {
            // Its server may still call it, or hold its memory: it stays for good.
            static_cast<void>(new std::shared_ptr<JackOutput>(jackOutput));
        }
        finish(ShutdownProgress::LeftRunning);
        return;
    }
    if (stream != nullptr) {
        Pa_CloseStream(stream);
    }
    if (jackOutput != nullptr) {
        jack_client_close(jackOutput->client);
    }
    if (!release.terminate) {
        finish(ShutdownProgress::Closed);
        return;
    }
    if (jackGone()) {
        finish(ShutdownProgress::LeftRunning);
        return;
    }
    Pa_Terminate();
    finish(ShutdownProgress::Terminated);
}

}  // namespace

AudioOutput::AudioOutput(live::LiveInstrument& instrument, JackPlay jackPlay)
    : shared_(std::make_shared<detail::StreamContext>(instrument)), jackPlay_(jackPlay) {
    supervisor_.setSignsCoverServers(socketWatch_.coversEveryServer());
}

AudioOutput::~AudioOutput() {
    if (supervisor_.state() != State::Closed && supervisor_.state() != State::Abandoned) {
        shutdownAudio([](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); });
    }
}

bool AudioOutput::openAudio() {
    if (supervisor_.state() != State::Closed) {
        return supervisor_.streamOpen();
    }
    silenceAudioLibraryMessages();
    if (offersOwnJackMidiInput()) {
        if (openDirectJack()) {
            return true;
        }
        // The server went, or refused the client: the output is the library's, as elsewhere.
        direct_ = false;
    }
    return initialiseLibrary() && openDefaultStream();
}

bool AudioOutput::offersOwnJackMidiInput() {
    if (!direct_) {
        silenceAudioLibraryMessages();
        direct_ = jackPlay_ == JackPlay::Directly && servers::jackServerReachable() &&
                  (jackIsPipeWire() || !alsaDefaultIsSoundServer());
    }
    return *direct_;
}

bool AudioOutput::openDirectJack() {
    // The audio library is never initialised meanwhile: its JACK host API would be a second
    // client of the program. The supervisor treats the direct client as such a library's.
    supervisor_.initialised(true);
    jackWatch_.open();
    jackClientName_ = kJackClientName;
    deviceName_ = "";
    deviceHostApi_ = paJACK;
    if (!openJackOutputStream()) {
        supervisor_.openFailed();
        return false;
    }
    return true;
}

bool AudioOutput::initialiseLibrary() {
    // Only takes effect before initialisation.
    PaJack_SetClientName(kJackClientName);
    lastError_ = Pa_Initialize();
    if (lastError_ != paNoError) {
        return false;
    }
    // PortAudio's JACK host API only comes up when a JACK server answers during initialisation.
    supervisor_.initialised(Pa_HostApiTypeIdToHostApiIndex(paJACK) >= 0);
    if (supervisor_.libraryUsesJack()) {
        jackWatch_.open();
        // The server numbers a name already taken ("Vireon-01"); the output keeps whatever the
        // library got when it plays the server directly later.
        const char* name = nullptr;
        if (jackClientName_.empty()) {
            const bool named = PaJack_GetClientName(&name) == paNoError && name != nullptr;
            jackClientName_ = named ? name : kJackClientName;
        }
    }
    return true;
}

bool AudioOutput::openDefaultStream() {
    // The default device is passed on untested: with no device the open fails with the
    // library's own error, which is the message the user sees.
    PaStreamParameters outputParameters{};
    outputParameters.device = Pa_GetDefaultOutputDevice();
    // Coming back means the same output coming back. While a server is away the library's
    // default may be another one (a second server, or a sound card that the server would
    // need again when it returns), so only the device that the program started with is taken.
    const PaDeviceInfo* info =
        outputParameters.device == paNoDevice ? nullptr : Pa_GetDeviceInfo(outputParameters.device);
    const std::string deviceName = info != nullptr ? info->name : "";
    const PaHostApiTypeId hostApi =
        info != nullptr ? Pa_GetHostApiInfo(info->hostApi)->type : paInDevelopment;
    if (deviceName_ && (*deviceName_ != deviceName || deviceHostApi_ != hostApi)) {
        lastError_ = paInvalidDevice;
        return false;
    }
    outputParameters.channelCount = kChannels;
    outputParameters.sampleFormat = paFloat32;
    // The device's own low latency plays sooner after a key; the standard one is safe on any
    // system.
    outputParameters.suggestedLatency = latency_ == settings::Latency::Low && info != nullptr
                                            ? info->defaultLowOutputLatency
                                            : kSuggestedLatency;
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
    const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream);
    outputLatency_ = streamInfo != nullptr ? streamInfo->outputLatency : 0.0;
    deviceName_ = deviceName;
    deviceHostApi_ = hostApi;
    streamOpened(rate);
    return true;
}

void AudioOutput::streamOpened(std::uint32_t rate) {
    supervisor_.opened();
    outputRate_ = rate;
    // A stream opened again may run at another rate than the one a watching scope was told.
    if (live::ScopeTap* tap = shared_->scopeTap.load(std::memory_order_acquire)) {
        tap->rate.store(rate, std::memory_order_relaxed);
    }
}

void AudioOutput::setScopeTap(live::ScopeTap* tap) {
    if (tap != nullptr) {
        tap->rate.store(outputRate_, std::memory_order_relaxed);
    }
    shared_->scopeTap.store(tap, std::memory_order_release);
}

std::string AudioOutput::fatalErrorText() const {
    return Pa_GetErrorText(lastError_);
}

void AudioOutput::releaseAfterFatalError() {
    if (supervisor_.openFailed()) {
        Pa_Terminate();
    }
}

void AudioOutput::startAudio() {
    // No stream renders yet, so this thread still has the instrument's rendering side.
    shared_->instrument.beginStream();
    // Starting waits for the library's own audio thread. When the server has gone since the
    // stream opened, that thread can fail and leave the library waiting for it for ever, so the
    // library is given up as after a stop that hangs, and the output counts as lost.
    if (stream_ != nullptr &&
        !servers::callWithin([stream = static_cast<PaStream*>(stream_)] { Pa_StartStream(stream); },
                             kStartDeadline, sleepWithoutEvents)) {
        abandonLibrary();
    }
    if (jackOutput_ != nullptr) {
        jackOutput_->playing.store(true, std::memory_order_release);
    }
    if (supervisor_.streamOpen()) {
        supervisor_.started(std::chrono::steady_clock::now(),
                            shared_->callbacks.load(std::memory_order_relaxed));
    }
}

OutputCheck AudioOutput::checkOutput() {
    OutputCheck check;
    if (supervisor_.state() == State::Abandoned) {
        check.sounding = false;
        return check;
    }
    const auto now = std::chrono::steady_clock::now();
    // Read whether or not it is needed, so that only news since the last look counts.
    if (socketWatch_.takeSignOfLife()) {
        supervisor_.signOfLife();
    }
    if (jackWatch_.lost()) {
        // Nothing of the old server is touched again: not the watch, and nothing the
        // supervisor now keeps from being closed.
        jackWatch_.forget();
        check.jackServerLost = true;
        supervisor_.jackServerLost();
        if (jackOutput_ != nullptr && jackOutput_->midiPort != nullptr) {
            // No note-off can come through the input that went with the server.
            shared_->instrument.onMidiMessage(midi::MidiMessageKind::Close, 0, 0);
        }
    }
    if (supervisor_.streamOpen()) {
        if (!supervisor_.stalled(now, shared_->callbacks.load(std::memory_order_relaxed)) &&
            (jackOutput_ != nullptr || Pa_IsStreamActive(stream_) == 1)) {
            return check;
        }
        releaseDeadStream(now);
        check.sounding = false;
        return check;
    }
    // No callback runs now, so the events of the sources are applied here: the notes and
    // controls stay current, and the queue never fills while the server is away.
    shared_->instrument.applyPending();
    // A lost server's clients are left alone before anything new is opened: the caller lets go
    // of its own first, so the next attempt waits for the next look.
    check.sounding = false;
    if (!check.jackServerLost && supervisor_.reopenDue(now)) {
        check.sounding = reopen();
    }
    return check;
}

void AudioOutput::setLatency(settings::Latency latency) {
    if (latency == latency_) {
        return;
    }
    latency_ = latency;
    if (supervisor_.state() != State::Playing && supervisor_.state() != State::StrandedPlaying) {
        return;  // the next opening takes it
    }
    // Let go and opened again as after a server's return, only at once; should that fail, the
    // attempts go on as after a loss.
    releaseDeadStream(std::chrono::steady_clock::now(), true);
    if (supervisor_.state() == State::Closed || supervisor_.state() == State::Stranded) {
        reopen();
    }
}

std::optional<double> AudioOutput::outputLatency() const {
    if (!supervisor_.streamOpen()) {
        return std::nullopt;
    }
    return outputLatency_;
}

void AudioOutput::releaseDeadStream(std::chrono::steady_clock::time_point now, bool byChoice) {
    void* const stream = stream_;
    stream_ = nullptr;
    // A stream's thread stuck in the library would keep the library for ever.
    const ShutdownProgress progress =
        runStop(stream, supervisor_.release(), sleepWithoutEvents, kReleaseDeadline);
    supervisor_.released(progress == ShutdownProgress::Terminated, now, byChoice);
}

bool AudioOutput::reopen() {
    bool opened = false;
    if (supervisor_.state() == State::Closed) {
        // The host APIs list their devices when the library initialises: only a fresh library
        // sees a server that has come back, or a new default device.
        opened = direct_.value_or(false) ? openDirectJack()
                                         : initialiseLibrary() && openDefaultStream();
    } else {
        jackWatch_.open();
        // A stranded library's ALSA devices open afresh each time, but its own JACK devices
        // would need the old server's client: the new server is played directly.
        opened = deviceHostApi_ == paJACK ? openJackOutputStream() : openDefaultStream();
    }
    if (!opened) {
        if (supervisor_.openFailed()) {
            Pa_Terminate();
        }
        return false;
    }
    startAudio();
    return supervisor_.state() != State::Abandoned;
}

bool AudioOutput::openJackOutputStream() {
    if (!jackWatch_.watching() || jackWatch_.lost()) {
        return false;
    }
    jackOutput_ = openJackOutput(jackClientName_, shared_, direct_.value_or(false));
    if (jackOutput_ == nullptr) {
        return false;
    }
    outputLatency_ = jackOutput_->latency;
    streamOpened(jackOutput_->rate);
    return true;
}

ShutdownProgress AudioOutput::runStop(
    void* stream, Release release,
    const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
    std::chrono::milliseconds deadline) {
    shared_->shutdown.store(ShutdownProgress::Running);
    const std::shared_ptr<const std::atomic<bool>> jackLost = jackWatch_.lostFlag();
    std::shared_ptr<JackOutput> jackOutput = std::move(jackOutput_);

    bool finished = false;
    try {
        finished = servers::callWithin(
            [context = shared_, stream = static_cast<PaStream*>(stream),
             streamOnJackDevice = deviceHostApi_ == paJACK, jackOutput, release,
             jackInUse = supervisor_.libraryUsesJack() || jackOutput != nullptr, jackLost] {
                stopAndRelease(context, stream, streamOnJackDevice, jackOutput, release, jackInUse,
                               jackLost);
            },
            deadline, waitForWindowEvent);
    } catch (...) {
        abandonLibrary();
        throw;
    }
    if (!finished) {
        abandonLibrary();
        return ShutdownProgress::Running;
    }
    return shared_->shutdown.load();
}

void AudioOutput::abandonLibrary() {
    supervisor_.abandoned();
    stream_ = nullptr;
    // The library still holds the context as its callback's user data, so it must outlive
    // this object: it is deliberately never released.
    static_cast<void>(new std::shared_ptr<detail::StreamContext>(shared_));
}

bool AudioOutput::shutdownAudio(
    const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
    std::chrono::milliseconds deadline) {
    if (supervisor_.state() == State::Abandoned) {
        return false;
    }
    if (supervisor_.state() == State::Closed) {
        return true;
    }
    void* const stream = stream_;
    stream_ = nullptr;
    const ShutdownProgress progress =
        runStop(stream, supervisor_.release(), waitForWindowEvent, deadline);
    if (supervisor_.state() == State::Abandoned) {
        return false;
    }
    if (progress != ShutdownProgress::Terminated) {
        abandonLibrary();
        return false;
    }
    supervisor_.released(true, std::chrono::steady_clock::now());
    return true;
}

}  // namespace vireon::audio
