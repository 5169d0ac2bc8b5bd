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
#include "settings/LatencyFile.h"
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
// in a package check, and the latency for this run. Any other argument is left to the toolkit.
struct CommandLine {
    std::optional<int> exitStatus;  // end at once with this status
    std::optional<vireon::settings::Latency> latency;
};

CommandLine readCommandLine(int argc, char** argv) {
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--version") {
            std::fputs("vireon " VIREON_VERSION
                       "\n"
                       "License GPL-3.0-or-later: GNU GPL version 3 or later "
                       "<https://gnu.org/licenses/gpl.html>.\n",
                       stdout);
            return {0, std::nullopt};
        }
        if (option == "--help") {
            std::fputs(
                "Usage: vireon [--latency standard|low] [--help | --version]\n"
                "Vireon, a monophonic chaos synthesizer played from a MIDI keyboard.\n"
                "  --latency standard|low  how much the sound output buffers, for this run;\n"
                "                          the Audio menu's choice is remembered instead\n"
                "Everything else is set in its window; see vireon(1), and vireon-render(1) for "
                "rendering to a file.\n",
                stdout);
            return {0, std::nullopt};
        }
        std::optional<std::string_view> word;
        if (option == "--latency") {
            word = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
        } else if (option.starts_with("--latency=")) {
            word = option.substr(option.find('=') + 1);
        }
        if (word) {
            result.latency = vireon::settings::latencyFromWord(*word);
            if (!result.latency) {
                std::fputs(
                    "vireon: --latency takes standard or low\n"
                    "Try 'vireon --help' for more information.\n",
                    stderr);
                return {2, std::nullopt};
            }
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = readCommandLine(argc, argv);
    if (commandLine.exitStatus) {
        return *commandLine.exitStatus;
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
    app.setLatencyOverride(commandLine.latency);
    return app.run();
}
