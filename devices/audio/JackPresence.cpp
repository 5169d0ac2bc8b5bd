// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/audio/JackPresence.h"

#include <jack/jack.h>

namespace vireon::audio {
namespace {

// What patchbays that list clients without ports show for the watch.
constexpr const char* kWatchClientName = "Vireon watch";

// Runs on libjack's thread of the client when its server goes away.
void noteServerGone(void* flag) {
    static_cast<std::atomic<bool>*>(flag)->store(true, std::memory_order_release);
}

}  // namespace

JackServerWatch::~JackServerWatch() {
    if (client_ != nullptr && !lost()) {
        jack_client_close(client_);
    }
}

bool JackServerWatch::open() {
    if (client_ != nullptr) {
        return true;
    }
    jack_status_t status{};
    client_ = jack_client_open(kWatchClientName, JackNoStartServer, &status);
    if (client_ == nullptr) {
        return false;
    }
    lost_ = std::make_shared<std::atomic<bool>>(false);
    jack_on_shutdown(client_, noteServerGone, lost_.get());
    return true;
}

void JackServerWatch::forget() {
    if (client_ == nullptr) {
        return;
    }
    // libjack keeps the flag as the client's callback argument for as long as the client
    // exists, which is now the rest of the process.
    static_cast<void>(new std::shared_ptr<std::atomic<bool>>(lost_));
    client_ = nullptr;
    lost_.reset();
}

}  // namespace vireon::audio
