// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <commctrl.h>

#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>

#include "live/LiveInstrument.h"
#include "settings/LatencyFile.h"
#include "win32/App.h"
#include "win32/WasapiOutput.h"
#include "win32/WinMmPorts.h"

namespace {

/// The latency the command line asks for ("--latency low", "--latency=standard"), as an error
/// text when its word is not one of the two. Other arguments are not the program's.
struct LatencyOption {
    std::optional<vireon::settings::Latency> latency;
    bool refused = false;
};

LatencyOption readLatencyOption() {
    LatencyOption result;
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return result;
    }
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        std::optional<std::wstring> word;
        if (argument == L"--latency") {
            word = i + 1 < count ? std::wstring(arguments[++i]) : std::wstring();
        } else if (argument.starts_with(L"--latency=")) {
            word = argument.substr(argument.find(L'=') + 1);
        }
        if (word) {
            // The words are ASCII; anything else is refused as any other wrong word is.
            std::string narrow;
            for (const wchar_t c : *word) {
                narrow += c < 0x80 ? static_cast<char>(c) : '?';
            }
            result.latency = vireon::settings::latencyFromWord(narrow);
            result.refused = !result.latency;
        }
    }
    ::LocalFree(arguments);
    return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    const LatencyOption latency = readLatencyOption();
    if (latency.refused) {
        // A program without a console says it in a box, and ends as a refused option does.
        ::MessageBoxA(nullptr, "--latency takes standard or low.", "Vireon", MB_OK | MB_ICONERROR);
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // One instrument per process, on the heap: its event queue is larger than a thread's stack
    // should carry. The MIDI and user-interface threads hand it their events; the audio thread
    // plays it.
    const auto instrument = std::make_unique<vireon::live::LiveInstrument>();
    vireon::win32::WasapiOutput audio(*instrument);
    vireon::win32::WinMmPorts midiPorts(*instrument);
    vireon::win32::App app(*instrument, audio, midiPorts);
    app.setLatencyOverride(latency.latency);
    return app.run();
}
