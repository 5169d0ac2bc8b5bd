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
// begin ("" for any name).
struct ServerSocketFolder {
    std::string path;
    std::string namePrefix;
};

std::vector<ServerSocketFolder> serverSocketFolders() {
    std::vector<ServerSocketFolder> folders;
    const auto add = [&](const char* variable, const std::string& below, std::string prefix) {
        const char* base = std::getenv(variable);
        if (base != nullptr && *base != '\0') {
            folders.push_back({std::string(base) + below, std::move(prefix)});
        }
    };
    // PipeWire's socket is pipewire-0 (or the name in PIPEWIRE_REMOTE) in its runtime folder;
    // PulseAudio makes pulse/native there.
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    const std::string pipewire =
        remote != nullptr && *remote != '\0' && std::string(remote).find('/') == std::string::npos
            ? remote
            : "pipewire";
    add("PIPEWIRE_RUNTIME_DIR", "", pipewire);
    add("XDG_RUNTIME_DIR", "", pipewire);
    add("XDG_RUNTIME_DIR", "", "pulse");
    add("XDG_RUNTIME_DIR", "/pulse", "native");
    // jackd makes jack_NAME_UID_0 in its server folder.
    folders.push_back({"/dev/shm", "jack_"});
    // A sound card plugged in, or its driver loaded again.
    folders.push_back({"/dev/snd", ""});
    return folders;
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
    for (const ServerSocketFolder& folder : serverSocketFolders()) {
        // A socket is created, or a finished one renamed into place.
        const int handle =
            inotify_add_watch(descriptor_, folder.path.c_str(), IN_CREATE | IN_MOVED_TO);
        if (handle >= 0) {
            watched_.push_back({handle, folder.path, folder.namePrefix});
        }
    }
    if (watched_.empty()) {
        close(descriptor_);
        descriptor_ = -1;
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
