// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "live/LiveInstrument.h"
#include "win32/App.h"
#include "win32/WasapiOutput.h"
#include "win32/WinMmPorts.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
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
    return app.run();
}
