// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace vireon::servers {

/// Tells when a sound server may have come back: a socket or device node appeared where the
/// servers of a Linux desktop put theirs (PipeWire and PulseAudio in the runtime folder, JACK in
/// /dev/shm, ALSA's devices in /dev/snd). The kernel queues the news, so waiting for it costs
/// nothing; the owner looks whenever it likes, without blocking. Where nothing can be watched (no
/// inotify, none of the folders exists), watching() is false and the owner has to try now and then
/// instead. UI thread.
class ServerSocketWatch {
  public:
    ServerSocketWatch();
    ~ServerSocketWatch();

    ServerSocketWatch(const ServerSocketWatch&) = delete;
    ServerSocketWatch& operator=(const ServerSocketWatch&) = delete;

    /// Whether at least one folder is watched.
    bool watching() const { return descriptor_ >= 0; }

    /// Whether every place where a sound server of this session could appear is watched: the
    /// runtime folder, JACK's folder and the sound cards' (or where that folder would appear),
    /// with no server named elsewhere by the environment. Then no sign means no server came
    /// back.
    bool coversEveryServer() const { return coversEveryServer_; }

    /// Whether a server's socket or device appeared since the last call; never waits.
    bool takeSignOfLife();

  private:
    struct Watched {
        int handle;
        std::string path;
        std::string namePrefix;
    };
    int descriptor_ = -1;
    bool coversEveryServer_ = false;
    std::vector<Watched> watched_;
};

}  // namespace vireon::servers
