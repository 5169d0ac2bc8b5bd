// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/ServerSocketWatch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace vireon::servers {

namespace {

// A folder where a sound server makes its socket or device nodes appear, and how their names
// begin ("" for any name). A folder that is `needed` is the only place where its server could
// appear; one that is not has a watched parent that sees it appear.
struct ServerSocketFolder {
    std::string path;
    std::string namePrefix;
    bool needed = true;
};

const char* variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::vector<ServerSocketFolder> serverSocketFolders() {
    std::vector<ServerSocketFolder> folders;
    const auto add = [&](const char* name, const std::string& below, std::string prefix,
                         bool needed = true) {
        if (const char* base = variable(name)) {
            folders.push_back({std::string(base) + below, std::move(prefix), needed});
        }
    };
    // PipeWire's socket is pipewire-0 (or the name in PIPEWIRE_REMOTE) in its runtime folder;
    // PulseAudio makes pulse/native there.
    const char* remote = variable("PIPEWIRE_REMOTE");
    const std::string pipewire =
        remote != nullptr && std::string(remote).find('/') == std::string::npos ? remote
                                                                                : "pipewire";
    add("PIPEWIRE_RUNTIME_DIR", "", pipewire);
    add("XDG_RUNTIME_DIR", "", pipewire);
    add("XDG_RUNTIME_DIR", "", "pulse");
    add("XDG_RUNTIME_DIR", "/pulse", "native", false);
    // jackd makes jack_NAME_UID_0 in its server folder.
    folders.push_back({"/dev/shm", "jack_"});
    // A sound card plugged in, or its driver loaded again; without any card yet, the folder
    // itself appears.
    folders.push_back({"/dev/snd", "", false});
    if (access("/dev/snd", F_OK) != 0) {
        folders.push_back({"/dev", "snd"});
    }
    return folders;
}

// Whether a server can be told to be elsewhere than in the folders above: a PipeWire socket by
// its path, a PulseAudio server by address, which may be another machine.
bool serversMayBeElsewhere() {
    const char* remote = variable("PIPEWIRE_REMOTE");
    return (remote != nullptr && std::string(remote).find('/') != std::string::npos) ||
           variable("PULSE_SERVER") != nullptr || variable("XDG_RUNTIME_DIR") == nullptr;
}

// Servers announce themselves with sockets (PipeWire, PulseAudio, JACK), folders (PulseAudio's)
// and device nodes (ALSA); their clients' lock and semaphore files beside them are no news.
bool isServerEndpoint(const std::string& folder, std::string_view name, std::string_view prefix) {
    struct stat status {};
    if (!name.starts_with(prefix) ||
        lstat((folder + "/" + std::string(name)).c_str(), &status) != 0) {
        return false;
    }
    return S_ISSOCK(status.st_mode) || S_ISDIR(status.st_mode) || S_ISCHR(status.st_mode);
}

}  // namespace

ServerSocketWatch::ServerSocketWatch() {
    descriptor_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor_ < 0) {
        return;
    }
    coversEveryServer_ = !serversMayBeElsewhere();
    for (const ServerSocketFolder& folder : serverSocketFolders()) {
        // A socket is created, or a finished one renamed into place.
        const int handle =
            inotify_add_watch(descriptor_, folder.path.c_str(), IN_CREATE | IN_MOVED_TO);
        if (handle >= 0) {
            watched_.push_back({handle, folder.path, folder.namePrefix});
        } else if (folder.needed) {
            coversEveryServer_ = false;
        }
    }
    if (watched_.empty()) {
        close(descriptor_);
        descriptor_ = -1;
        coversEveryServer_ = false;
    }
}

ServerSocketWatch::~ServerSocketWatch() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

bool ServerSocketWatch::takeSignOfLife() {
    if (descriptor_ < 0) {
        return false;
    }
    bool sign = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = read(descriptor_, buffer, sizeof buffer);
        if (length <= 0) {
            return sign;  // EAGAIN: nothing more queued
        }
        for (std::size_t at = 0; at < static_cast<std::size_t>(length);) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            // An overflowed queue loses names: that counts as a sign, to be safe.
            sign = sign || (event->mask & IN_Q_OVERFLOW) != 0 ||
                   std::any_of(watched_.begin(), watched_.end(), [&](const Watched& watched) {
                       return watched.handle == event->wd && event->len > 0 &&
                              isServerEndpoint(watched.path, event->name, watched.namePrefix);
                   });
            at += sizeof(inotify_event) + event->len;
        }
    }
}

}  // namespace vireon::servers
