// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>

#include "devices/servers/ReopenSchedule.h"

namespace vireon::servers {

/// The sound output's life while the program runs, as one state machine: a stream plays until it
/// stalls or its server goes, is then released as far as is safe, and is opened again when the
/// reopen schedule says so. It makes no library calls: the audio output makes the calls it
/// allows and tells it how they went. UI thread.
///
/// The one hard rule it keeps: once anything of the audio library (its own JACK client, or a
/// stream left running) belongs to a JACK server that has gone, the library is never terminated
/// and that stream never closed again, since libjack then crashes or aborts the process. Such a
/// library is kept, stranded, for the rest of the run, and later streams open on it as it is.
class OutputSupervisor {
  public:
    using Clock = std::chrono::steady_clock;

    enum class State {
        Closed,           ///< no library: before the first open, or terminated after a loss
        Ready,            ///< a library freshly initialised, no stream yet
        Playing,          ///< a stream is open on a library that can be released in full
        PlayingPastLoss,  ///< the JACK server went while the stream was open: it is left alone
        Stranded,         ///< no stream; the library is kept for good (see above)
        StrandedPlaying,  ///< a stream is open on a stranded library
        Abandoned,        ///< a call into the library never came back: it is never touched again
    };

    /// What releasing the stream (or, without one, the library) may do beyond aborting it.
    struct Release {
        bool close = true;      ///< close the stream
        bool terminate = true;  ///< then terminate the library
    };

    State state() const { return state_; }

    /// Whether a stream is open, started or not.
    bool streamOpen() const;

    /// Whether the library has a JACK client of its own, and so a JACK server to watch.
    bool libraryUsesJack() const { return libraryUsesJack_; }

    /// Closed → Ready: the library initialised; `usesJack` when it made a JACK client of its own.
    void initialised(bool usesJack);

    /// Ready → Playing, Stranded → StrandedPlaying: a stream opened.
    void opened();

    /// A stream failed to open. Returns whether the library is to be terminated (Ready → Closed);
    /// a stranded library stays as it is.
    bool openFailed();

    /// The stream was started at `now`, with its callback count at `callbacks`.
    void started(Clock::time_point now, std::uint32_t callbacks);

    /// Whether the open stream's callback has not run for too long, given its count now.
    bool stalled(Clock::time_point now, std::uint32_t callbacks);

    /// The JACK server that the process used has gone: an open stream is left alone from now on,
    /// and a library with a JACK client of its own is stranded.
    void jackServerLost();

    /// What releasing may do in the present state.
    Release release() const;

    /// Whether signs of a server's return (see ServerSocketWatch) are seen for every place a
    /// server could come back. Then a lost output is not tried again before the first sign.
    void setSignsCoverServers(bool cover) { signsCoverServers_ = cover; }

    /// The release finished at `now`: the library terminated (→ Closed) or kept (→ Stranded).
    /// Either way the output is gone, and attempts to reopen it follow the schedule; a stream
    /// released `byChoice` (to open it again with other settings) lost no server, so its
    /// attempts wait for no sign.
    void released(bool terminated, Clock::time_point now, bool byChoice = false);

    /// A call into the library did not come back in time.
    void abandoned() { state_ = State::Abandoned; }

    /// A sign of a server's return was seen. It counts for the next attempt even when it came
    /// while the stream still seemed to play: a server that restarts at once makes its socket
    /// before its loss is noticed. A stream that opens takes it up.
    void signOfLife() { signPending_ = true; }

    /// Whether to try to open the output again now. Only while no stream is open and the
    /// library is not abandoned; the attempt is taken to follow at once when it returns true.
    bool reopenDue(Clock::time_point now);

  private:
    State state_ = State::Closed;
    bool libraryUsesJack_ = false;
    bool signsCoverServers_ = false;
    bool signPending_ = false;
    std::uint32_t lastCallbacks_ = 0;
    Clock::time_point lastCallbackSeen_{};
    ReopenSchedule reopenSchedule_;
};

}  // namespace vireon::servers
