// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <QApplication>

#include "app/App.h"
#include "devices/audio/AudioOutput.h"
#include "devices/midi/RtMidiPorts.h"
#include "devices/midi/VirtualMidiInput.h"
#include "live/LiveInstrument.h"
#include "ui/Look.h"

namespace {

// Qt aborts with a long diagnostic when it finds no display; say it plainly instead.
bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') {
        const std::string_view name(platform);
        if (!name.starts_with("xcb") && !name.starts_with("wayland")) {
            return true;  // offscreen, vnc, eglfs and the like need no display server
        }
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Options anyone may ask a program for, answered without a window, so they work on a server or
// in a package check. Nothing for any other command line: the program takes no options.
std::optional<int> answerWithoutWindow(int argc, char** argv) {
    const std::string_view option = argc == 2 ? argv[1] : "";
    if (option == "--version") {
        std::fputs("vireon " VIREON_VERSION
                   "\n"
                   "License GPL-3.0-or-later: GNU GPL version 3 or later "
                   "<https://gnu.org/licenses/gpl.html>.\n",
                   stdout);
        return 0;
    }
    if (option == "--help") {
        std::fputs(
            "Usage: vireon [--help | --version]\n"
            "Vireon, a monophonic chaos synthesizer played from a MIDI keyboard.\n"
            "Everything is set in its window; see vireon(1), and vireon-render(1) for "
            "rendering to a file.\n",
            stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerWithoutWindow(argc, argv)) {
        return *status;
    }
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "vireon: no graphical display was found (neither X11 nor Wayland); start "
                     "Vireon from a desktop session.\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vireon");
    // Lets a Wayland desktop match the window to the installed desktop entry and its icon.
    QApplication::setDesktopFileName("org.vireon.Vireon");
    vireon::ui::applyLook(application);

    // One instrument per process: the MIDI and user-interface threads hand it their events,
    // and the audio thread plays it.
    vireon::live::LiveInstrument instrument;
    vireon::audio::AudioOutput audio(instrument, vireon::audio::AudioOutput::JackPlay::Directly);
    vireon::midi::RtMidiPorts midiPorts(instrument);
    vireon::midi::VirtualMidiInput ownMidiInput(instrument);
    vireon::app::App app(instrument, audio, midiPorts);
    app.setOwnMidiInput(&ownMidiInput);
    return app.run();
}
