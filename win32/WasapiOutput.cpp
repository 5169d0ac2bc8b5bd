// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/WasapiOutput.h"

#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "instrument/Instrument.h"

namespace vireon::win32 {

namespace {

// The standard latency of the output, in WASAPI's 100-nanosecond units: 75 ms.
constexpr REFERENCE_TIME kBufferDuration = 750'000;
constexpr double kReferenceTimeUnit = 1e-7;
// How long the audio thread waits for a period before it looks again: a device that stops
// asking (unplugged) must not keep it from seeing a stop request.
constexpr DWORD kPeriodWaitMilliseconds = 200;
constexpr HRESULT kElementNotFound = static_cast<HRESULT>(0x80070490);

template <typename T>
void release(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

/// Whether the mix format carries 32-bit floats: shared mode's format on every current Windows.
bool isFloat32(const WAVEFORMATEX& format) {
    if (format.wBitsPerSample != 32) {
        return false;
    }
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        return true;
    }
    if (format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format.cbSize < 22) {
        return false;
    }
    // KSDATAFORMAT_SUBTYPE_IEEE_FLOAT: the format tag in the GUID's first field.
    const GUID& subFormat = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat;
    static constexpr unsigned char kTail[8] = {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    return subFormat.Data1 == WAVE_FORMAT_IEEE_FLOAT && subFormat.Data2 == 0x0000 &&
           subFormat.Data3 == 0x0010 && std::memcmp(subFormat.Data4, kTail, 8) == 0;
}

std::string withCode(const char* sentence, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(result));
    return std::string(sentence) + " (error 0x" + code + ").";
}

}  // namespace

/// What the audio thread holds of WASAPI.
struct Device {
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    HANDLE period = nullptr;
    UINT32 bufferFrames = 0;
    std::vector<float> mono;

    ~Device() {
        release(render);
        release(client);
        release(device);
        release(enumerator);
        if (period != nullptr) {
            ::CloseHandle(period);
        }
    }
};

void fanOut(std::span<const float> mono, float* interleaved, std::uint32_t channels) noexcept {
    const std::uint32_t sounding = channels < 2 ? channels : 2;
    for (const float sample : mono) {
        std::uint32_t channel = 0;
        for (; channel < sounding; ++channel) {
            *interleaved++ = sample;
        }
        for (; channel < channels; ++channel) {
            *interleaved++ = 0.0f;
        }
    }
}

WasapiOutput::WasapiOutput(live::LiveInstrument& instrument) : instrument_(instrument) {}

WasapiOutput::~WasapiOutput() {
    if (thread_ != nullptr) {
        ::SetEvent(stopRequested_);
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
    }
    closeEvents();
}

void WasapiOutput::closeEvents() {
    for (HANDLE* event : {&opened_, &startRequested_, &stopRequested_}) {
        if (*event != nullptr) {
            ::CloseHandle(*event);
            *event = nullptr;
        }
    }
}

bool WasapiOutput::reopen(settings::Latency latency, const std::function<void()>& serve,
                          std::chrono::milliseconds deadline) {
    if (!shutdown(serve, deadline)) {
        return false;
    }
    closeEvents();
    latency_ = latency;
    openSucceeded_ = false;
    outputLatency_.reset();
    if (open()) {
        start();
    }
    return true;
}

bool WasapiOutput::open() {
    errorText_.clear();
    opened_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    startRequested_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopRequested_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (opened_ == nullptr || startRequested_ == nullptr || stopRequested_ == nullptr) {
        errorText_ = "The sound output could not be prepared: Windows is short of resources.";
        return false;
    }
    thread_ = ::CreateThread(nullptr, 0, &WasapiOutput::threadMain, this, 0, nullptr);
    if (thread_ == nullptr) {
        errorText_ = "The sound output could not be prepared: Windows is short of resources.";
        return false;
    }
    ::WaitForSingleObject(opened_, INFINITE);
    if (!openSucceeded_) {
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
        thread_ = nullptr;
        return false;
    }
    // Nothing renders before start(): the instrument is still this thread's.
    instrument_.instrument().changeRate(rate_);
    return true;
}

void WasapiOutput::start() {
    if (thread_ != nullptr) {
        ::SetEvent(startRequested_);
    }
}

bool WasapiOutput::shutdown(const std::function<void()>& serve,
                            std::chrono::milliseconds deadline) {
    if (thread_ == nullptr) {
        return true;
    }
    ::SetEvent(stopRequested_);
    outputLatency_.reset();
    const ULONGLONG giveUpAt = ::GetTickCount64() + static_cast<ULONGLONG>(deadline.count());
    while (::MsgWaitForMultipleObjects(1, &thread_, FALSE, 1, QS_ALLINPUT) != WAIT_OBJECT_0) {
        if (::GetTickCount64() >= giveUpAt) {
            return false;
        }
        serve();
    }
    ::CloseHandle(thread_);
    thread_ = nullptr;
    return true;
}

DWORD WINAPI WasapiOutput::threadMain(void* self) {
    static_cast<WasapiOutput*>(self)->run();
    return 0;
}

void WasapiOutput::run() {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        Device device;
        openSucceeded_ = SUCCEEDED(com) && openOnAudioThread(device);
        if (!SUCCEEDED(com)) {
            errorText_ = withCode("Windows' audio components could not be started", com);
        }
        ::SetEvent(opened_);
        if (openSucceeded_) {
            const HANDLE requests[2] = {startRequested_, stopRequested_};
            if (::WaitForMultipleObjects(2, requests, FALSE, INFINITE) == WAIT_OBJECT_0) {
                play(device);
            }
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

bool WasapiOutput::openOnAudioThread(Device& device) {
    HRESULT result = ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                        __uuidof(IMMDeviceEnumerator),
                                        reinterpret_cast<void**>(&device.enumerator));
    if (FAILED(result)) {
        errorText_ = withCode("Windows' list of sound devices could not be read", result);
        return false;
    }
    result = device.enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device.device);
    if (result == kElementNotFound || device.device == nullptr) {
        errorText_ = "There is no sound output device.";
        return false;
    }
    if (FAILED(result)) {
        errorText_ = withCode("The default sound output device could not be found", result);
        return false;
    }
    result = device.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(&device.client));
    if (FAILED(result)) {
        errorText_ = withCode("The default sound output device could not be opened", result);
        return false;
    }
    WAVEFORMATEX* mix = nullptr;
    result = device.client->GetMixFormat(&mix);
    if (FAILED(result) || mix == nullptr) {
        errorText_ = withCode("The sound output device's format could not be read", result);
        return false;
    }
    const std::unique_ptr<WAVEFORMATEX, decltype(&::CoTaskMemFree)> mixOwner(mix, &::CoTaskMemFree);
    if (!isFloat32(*mix) || mix->nChannels == 0 ||
        !instrument::Instrument::supportsRate(mix->nSamplesPerSec)) {
        errorText_ = "The sound output device plays " + std::to_string(mix->nSamplesPerSec) +
                     " Hz with " + std::to_string(mix->nChannels) +
                     " channels in a format other than 32-bit floating point, which Vireon "
                     "cannot play.";
        return false;
    }
    REFERENCE_TIME buffer = kBufferDuration;
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    if (latency_ == settings::Latency::Low &&
        SUCCEEDED(device.client->GetDevicePeriod(&defaultPeriod, &minimumPeriod)) &&
        minimumPeriod > 0) {
        buffer = minimumPeriod;
    }
    result = device.client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                       buffer, 0, mix, nullptr);
    if (FAILED(result)) {
        errorText_ = withCode("The sound output device could not be opened in shared mode", result);
        return false;
    }
    device.period = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (device.period == nullptr || FAILED(result = device.client->SetEventHandle(device.period)) ||
        FAILED(result = device.client->GetBufferSize(&device.bufferFrames)) ||
        FAILED(result = device.client->GetService(__uuidof(IAudioRenderClient),
                                                  reinterpret_cast<void**>(&device.render)))) {
        errorText_ = withCode("The sound output device could not be prepared", result);
        return false;
    }
    // Every block the device can ask for fits; the audio loop never allocates.
    device.mono.assign(device.bufferFrames, 0.0f);
    rate_ = mix->nSamplesPerSec;
    channels_ = mix->nChannels;
    // The buffer is kept full, so a sample waits the whole of it, then the stream's own latency.
    REFERENCE_TIME streamLatency = 0;
    if (FAILED(device.client->GetStreamLatency(&streamLatency)) || streamLatency < 0) {
        streamLatency = 0;
    }
    outputLatency_ = static_cast<double>(device.bufferFrames) / rate_ +
                     static_cast<double>(streamLatency) * kReferenceTimeUnit;
    return true;
}

void WasapiOutput::play(Device& device) {
    DWORD taskIndex = 0;
    const HANDLE task = ::AvSetMmThreadCharacteristicsA("Pro Audio", &taskIndex);
    if (SUCCEEDED(device.client->Start())) {
        const HANDLE waits[2] = {stopRequested_, device.period};
        for (;;) {
            const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, kPeriodWaitMilliseconds);
            if (woken == WAIT_OBJECT_0) {
                break;
            }
            if (woken != WAIT_OBJECT_0 + 1) {
                continue;
            }
            UINT32 padding = 0;
            if (FAILED(device.client->GetCurrentPadding(&padding))) {
                continue;  // the device is gone; its sound with it, until the program ends
            }
            const UINT32 frames = device.bufferFrames - padding;
            BYTE* data = nullptr;
            if (frames == 0 || FAILED(device.render->GetBuffer(frames, &data))) {
                continue;
            }
            instrument_.render(device.mono.data(), frames);
            if (live::ScopeTap* tap = scopeTap_.load(std::memory_order_acquire)) {
                // A scope that falls behind misses samples; the sound never waits for it.
                tap->ring.push(device.mono.data(), frames);
            }
            fanOut(std::span<const float>(device.mono.data(), frames),
                   reinterpret_cast<float*>(data), channels_);
            device.render->ReleaseBuffer(frames, 0);
        }
        // Aborted, not drained: the sound ends at once.
        device.client->Stop();
    }
    if (task != nullptr) {
        ::AvRevertMmThreadCharacteristics(task);
    }
}

}  // namespace vireon::win32
