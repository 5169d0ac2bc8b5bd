// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "controls/Controls.h"
#include "instrument/ControllerMap.h"
#include "live/LiveInstrument.h"
#include "settings/LatencyFile.h"
#include "sounds/Sound.h"

namespace vireon::desktop {

class WindowView;

/// The main window's slider for `control` (controls/WindowNumbers.h); nothing for Disorder, which
/// has its box, and for the playing controls, which have their window. Any thread.
std::optional<int> sliderFor(controls::ControlId control);

/// How the desktop faces turn their windows' events into the instrument's controls, the same in
/// each: the main window's moves, MIDI learn and the controllers file, a chosen sound, and what
/// the status bar says of them. The face keeps its windows, menus, dialogs and event loop, and
/// hands each event here. UI thread.
class WindowEvents {
  public:
    /// Reads the bindings from `controllersFile` and gives them to `instrument`: call it while
    /// nothing renders, so they are in place before the first control change arrives.
    /// `disorderInEffect` is the Disorder number the sound of this run started with.
    WindowEvents(live::LiveInstrument& instrument, std::filesystem::path controllersFile,
                 std::int64_t disorderInEffect);

    /// The windows to show everything in, from now until detach(); shows every binding.
    void attach(WindowView& view);
    void detach() { view_ = nullptr; }

    /// The main window's control `number` moved or changed by the user: Havoc and Bedlam move
    /// the sound and show their value, the Disorder box shows its position (what gets saved).
    /// The envelope sliders need nothing here: the faces hand their moves over as they happen.
    void controlMoved(int number);

    /// The next channel-1 controller moved binds `control` (a ControlId's number); out of range
    /// does nothing.
    void learnController(int control);
    /// `control` lets go of its controller, or stops waiting for one.
    void forgetController(int control);

    /// What the instrument reported since the last look: the note status, bindings learned or
    /// forgotten (shown, saved, and said in the status bar) and controllers' moves. A face calls
    /// it every few milliseconds while its window stands.
    void look();

    /// Moves every slider, the playing controls and the Disorder box to the sound's positions,
    /// and the sound with them, and says in the status bar when its Disorder only takes effect
    /// at the next start.
    void choose(const sounds::Sound& sound);
    /// The windows' positions as a sound named as the last sound chosen, opened or saved.
    sounds::Sound current() const;
    /// A sound was saved from the windows: it becomes the one current() names.
    void saved(const sounds::Sound& sound);

    /// The bindings as last shown and saved.
    const instrument::ControllerMap& controllers() const { return controllers_; }
    /// Where the bindings are saved.
    const std::filesystem::path& controllersFile() const { return controllersFile_; }

  private:
    void showControllers();
    void showControllerMoves();
    void showNoteStatus();

    live::LiveInstrument& instrument_;
    std::filesystem::path controllersFile_;
    std::int64_t disorderInEffect_;
    WindowView* view_ = nullptr;
    // The bindings the window shows and has saved: the instrument's, as it last published them.
    instrument::ControllerMap controllers_;
    std::array<std::uint32_t, controls::kControlCount> controllerMovesShown_{};
    std::uint32_t noteReportsShown_ = 0;
    std::string soundName_;
    std::string soundDescription_;
};

/// The Audio menu's entry for `latency`: its name, and for the latency in use the open stream's
/// latency ("Low latency (12 ms)"). Any thread.
std::string latencyEntryText(settings::Latency latency, bool inUse, std::optional<double> seconds);

/// What the status bar says when a latency is chosen: its name and the open stream's latency
/// ("Low latency: 12 ms", or ": no sound output"), and that it is not remembered when the file
/// cannot be written. Any thread.
std::string latencyMessage(settings::Latency latency, std::optional<double> seconds,
                           bool remembered, const std::filesystem::path& latencyFile);

}  // namespace vireon::desktop
