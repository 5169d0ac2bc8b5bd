// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "concurrency/LatestReport.h"
#include "controls/Controls.h"
#include "engine/AdsrSettings.h"
#include "engine/SynthState.h"
#include "instrument/ControllerMap.h"
#include "midi/MidiNoteHandler.h"
#include "rate/RateRenderer.h"

namespace vireon::instrument {

/// One instance of Vireon, independent of any face: its own synthesis state, envelope settings,
/// note handling and rate conversion, driven by control values and MIDI messages at the output
/// rate. Nothing in it is shared with another instance, and nothing outside it writes its state.
///
/// Events apply at the output frame reached so far: render up to an event's frame, then hand
/// the event over; it takes effect at the engine sample that frame belongs to, whatever the
/// block sizes. Everything is allocated with the object. Functions marked RT never lock,
/// allocate, throw or call the system, so they may run on the audio thread; they belong to the
/// one thread that renders.
class Instrument {
  public:
    /// Whether an instance can play at `outputRate` frames per second (a whole number from
    /// 8000 to 192000 that this build can convert to). Any thread.
    static bool supportsRate(double outputRate);

    /// An instance playing at `outputRate`, which supportsRate must accept (std::invalid_argument
    /// otherwise). Allocates.
    explicit Instrument(double outputRate);

    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    /// Plays on at `outputRate` (as supportsRate accepts; std::invalid_argument otherwise) with
    /// the sound as it is: for an output reopened at another rate. Allocates; only while nothing
    /// renders.
    void changeRate(double outputRate);

    /// RT: returns to the state of a fresh instance: silence, no note held, every control at its
    /// start-up position.
    void reset() noexcept;

    /// RT: takes a control's value as a host sends it, every block: rounded and held to the
    /// control's range. Havoc, Bedlam, Disorder, the bend range, the pedal and the priority act
    /// at once; the envelope controls (fade and velocity included) are read when the next note
    /// starts, and the glide controls at the next note-on. A position that has not changed does
    /// nothing, so the start-up Havoc and Bedlam keep their exact start-up values, as in the
    /// program until its slider first moves.
    void setControl(controls::ControlId control, float value) noexcept;

    /// RT: moves a control to `position` (held to its range) as a slider or a command-line
    /// option does: it acts even at the position it already has.
    void moveControl(controls::ControlId control, int position) noexcept;

    /// RT: Disorder as the settings file holds it, which may lie beyond the control's range.
    void setDisorderValue(std::int64_t value) noexcept;

    /// RT: hands one MIDI message (one to three bytes) to the note handling. Longer messages are
    /// system exclusive, which the note handling never sees.
    void handleMidi(std::span<const std::uint8_t> bytes) noexcept;

    /// RT: the same for a message packed as status | data1 << 8 | data2 << 16. A channel-1
    /// control change of a bound controller moves its control first, as moveControl does.
    void handleMessage(std::uint32_t packed) noexcept;

    /// RT: channel-1 control changes of `controller` (0 to 119) move `control` from now on
    /// (see ControllerMap::bind). Bindings belong to the face that plays the instrument: reset
    /// keeps them.
    void bindController(controls::ControlId control, int controller) noexcept;

    /// RT: `control` answers to no controller any more.
    void forgetController(controls::ControlId control) noexcept;

    /// The bindings in force. Rendering side.
    const ControllerMap& controllers() const noexcept { return controllers_; }

    /// RT: every binding at once, as a controllers file or a saved state gives them.
    void setControllers(const ControllerMap& controllers) noexcept { controllers_ = controllers; }

    /// RT: for a face that reads `control` only as it starts (the program's Disorder): a
    /// controller bound to it changes the position reported by controllerMove, which the face
    /// shows and keeps for its next start, and leaves the sound alone.
    void holdForNextStart(controls::ControlId control) noexcept;

    /// The position a controller last moved a control to, and how many controller moves it has
    /// had, so that a face can follow each of them. Any thread.
    struct ControllerMove {
        int position = 0;
        std::uint32_t moves = 0;
    };
    ControllerMove controllerMove(controls::ControlId control) const noexcept;

    /// RT: the input device closes, and the notes it held end with it.
    void handleInputClosed() noexcept;

    /// RT: closes the gate and nothing else, as a program does just before its sound starts:
    /// a note that arrived earlier must not sound, though its pitch stays.
    void closeGate() noexcept;

    /// RT: lines the instrument's frames up with the host's timeline, which is at `frame` now,
    /// so that a note at a timeline frame starts on the same engine sample in every run of the
    /// same session, whatever ran before. Takes effect at the next quiet moment the host reports
    /// (see rate::RateRenderer::followTimeline).
    void followTimeline(std::int64_t frame) noexcept { renderer_->followTimeline(frame); }

    /// RT: renders the next `frames` frames at the output rate.
    void render(float* output, std::uint32_t frames) noexcept;

    /// The first output frame that belongs to engine sample `sample`: where an event meant for
    /// that sample goes. Any thread.
    std::uint64_t frameAt(std::uint64_t sample) const { return renderer_->frameAt(sample); }

    /// The frames per second it plays at. Rendering side.
    std::uint32_t outputRate() const noexcept { return renderer_->outputRate(); }

    /// How many frames after an event its sound arrives: the converter's delay, 0 at 8000 Hz.
    /// Any thread.
    std::uint32_t latencyFrames() const { return renderer_->latencyFrames(); }

    /// The note status as the note handling last reported it, which is what a face shows: "On",
    /// "Off", or empty before the first report; and how many note messages have reported so
    /// far, so that a face can show each report. Any thread.
    struct NoteStatus {
        std::string_view text;
        std::uint32_t reports = 0;
    };
    NoteStatus noteStatus() const noexcept;

    /// The position a control was last moved or set to. Rendering side.
    int position(controls::ControlId control) const noexcept {
        return positions_[static_cast<std::size_t>(control)];
    }

    /// The synthesis state, to look at: a face's display, or a test. Any thread; every field is
    /// read whole.
    const engine::SynthState& state() const { return voice_->state; }

  private:
    // Keeps the note handler's last report, and their count, for faces on other threads.
    class StatusBoard final : public midi::StatusSink {
      public:
        void reportNoteStatus(std::string_view text) override;
        NoteStatus read() const;

      private:
        // Which text: 0 none, 1 "On", 2 "Off".
        concurrency::LatestReport latest_;
    };

    struct Voice {
        explicit Voice(StatusBoard& board) : notes(state) { notes.connectStatusSink(&board); }

        engine::SynthState state;
        engine::AdsrSettings adsr;
        midi::MidiNoteHandler notes;
    };

    void apply(controls::ControlId control, int position) noexcept;

    StatusBoard statusBoard_;
    // Rebuilt in place by reset(), at the same address the renderer refers to; std::optional
    // keeps it inside the instance, unallocated.
    std::optional<Voice> voice_{std::in_place, statusBoard_};
    // Made again only by changeRate, which may allocate.
    std::optional<rate::RateRenderer> renderer_;
    std::array<int, controls::kControlCount> positions_{};
    ControllerMap controllers_;
    std::array<bool, controls::kControlCount> heldForNextStart_{};
    // Per control, the position a controller last moved it to.
    std::array<concurrency::LatestReport, controls::kControlCount> controllerMoves_{};
};

}  // namespace vireon::instrument
