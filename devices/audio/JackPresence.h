// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

typedef struct _jack_client jack_client_t;

namespace vireon::audio {

/// Notices when the JACK server that this process's clients use goes away, through a client of
/// its own that has no ports and is never activated, so it costs the server nothing.
///
/// libjack cannot take back a client whose server has gone once any other client has been
/// opened since, not even a failed attempt: closing it, or most other calls on it, then crash
/// the process, and PortAudio's JACK host API aborts it when closing one fails. So once the
/// server is lost, every client of the old server is left alone for the rest of the process,
/// and the program only makes new ones.
class JackServerWatch {
  public:
    JackServerWatch() = default;

    /// Closes a client whose server is still there; a lost one is left alone. UI thread.
    ~JackServerWatch();

    JackServerWatch(const JackServerWatch&) = delete;
    JackServerWatch& operator=(const JackServerWatch&) = delete;

    /// Starts watching the default server, when one accepts a client now and nothing is watched
    /// yet. Never starts a server. Returns whether a server is watched. UI thread.
    bool open();

    /// Whether a server is watched (lost or not). UI thread.
    bool watching() const { return client_ != nullptr; }

    /// Whether the watched server has gone. Any thread.
    bool lost() const { return lost_ && lost_->load(std::memory_order_acquire); }

    /// The flag behind lost(), for a worker that may outlive this object; null when nothing is
    /// watched. Any thread.
    std::shared_ptr<const std::atomic<bool>> lostFlag() const { return lost_; }

    /// Lets go of a lost server's client without touching it, so that open() can watch the
    /// next server. UI thread.
    void forget();

  private:
    jack_client_t* client_ = nullptr;
    std::shared_ptr<std::atomic<bool>> lost_;
};

}  // namespace vireon::audio
