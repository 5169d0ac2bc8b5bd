// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "live/ScopeTap.h"
#include "settings/LatencyFile.h"

namespace vireon::audio {

/// What one look at the output stream found.
struct OutputCheck {
    /// A stream is open and its callback keeps running.
    bool sounding = true;
    /// The JACK server went away since the last look. Every JACK client of the process now
    /// belongs to a server that is gone; they must be left alone from now on (see
    /// JackServerWatch), the program's MIDI input among them.
    bool jackServerLost = false;
};

/// The program's one output stream as the application drives it: opened before the window,
/// started last, shut down after the settings are saved. AudioOutput is the real one; tests
/// drive the application with a fake that records the order of the calls. UI thread.
class AudioStream {
  public:
    /// Initialises the audio library and opens the stream, not yet started. False on a fatal
    /// error, whose text fatalErrorText() then gives.
    virtual bool openAudio() = 0;

    /// The audio library's own text for the error that made openAudio fail.
    virtual std::string fatalErrorText() const = 0;

    /// Releases the library after a fatal error, if its initialisation had succeeded.
    virtual void releaseAfterFatalError() = 0;

    /// Whether the output itself offers Vireon's own MIDI input on JACK, with its sound on one
    /// client, so nobody else may. Decided at the first call, which comes before openAudio; an
    /// openAudio that could not keep to it makes it false.
    virtual bool offersOwnJackMidiInput() { return false; }

    /// Starts the stream; a failure leaves the program running silently.
    virtual void startAudio() = 0;

    /// Looks after the stream while the program runs; called a few times a second. A stream
    /// that has stopped (its server went away) is aborted and closed at once, and the default
    /// output is opened again when a server's socket appears, and otherwise ever more rarely,
    /// until that succeeds, all without a word to the user. Never called after shutdownAudio.
    virtual OutputCheck checkOutput() = 0;

    /// Aborts the stream, waits for it to go quiet while calling `waitForWindowEvent` (about
    /// 1 ms each) so the windows stay responsive, then releases the library. Gives up after
    /// `deadline` and returns false when the audio system does not respond: the caller must then
    /// end the process at once instead of touching the library again.
    virtual bool shutdownAudio(
        const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
        std::chrono::milliseconds deadline) = 0;

    /// How much the stream buffers. Set before openAudio, it is taken by the first opening; set
    /// while the stream plays, the stream is opened again with it at once. A stream without a
    /// choice ignores it.
    virtual void setLatency(settings::Latency /*latency*/) {}

    /// The open stream's output latency in seconds, as the audio system reports it; nothing
    /// while no stream is open or where it cannot be told.
    virtual std::optional<double> outputLatency() const { return std::nullopt; }

    /// Copies every block the stream plays into `tap` from now on, or stops when it is null.
    /// The tap must outlive the stream, since a block in progress may still reach it. A stream
    /// that cannot be watched ignores this.
    virtual void setScopeTap(live::ScopeTap* /*tap*/) {}

  protected:
    ~AudioStream() = default;
};

}  // namespace vireon::audio
