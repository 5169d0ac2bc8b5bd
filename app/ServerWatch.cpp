// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ServerWatch.h"

#include "devices/midi/MidiInput.h"
#include "devices/midi/VirtualMidiInput.h"
#include "devices/servers/JackProbe.h"

namespace vireon::app {

namespace {

// How often Vireon's own input looks for a JACK server that has gone.
constexpr std::chrono::milliseconds kOwnInputRetryInterval{1000};

}  // namespace

bool ServerWatch::look() {
    const audio::OutputCheck check = audio_.checkOutput();
    const auto now = std::chrono::steady_clock::now();
    if (check.jackServerLost) {
        deviceList_.jackServerLost();
        if (ownInput_ != nullptr && ownInput_->offersJack()) {
            ownInput_->forgetJackClient();
            ownInputAwaitsJack_ = true;
            nextOwnInputAttempt_ = now + kOwnInputRetryInterval;
        }
    } else if (ownInputAwaitsJack_ && now >= nextOwnInputAttempt_) {
        // Vireon's own input belongs to the program: it comes back with the server by itself.
        nextOwnInputAttempt_ = now + kOwnInputRetryInterval;
        if (servers::jackServerReachable()) {
            ownInput_->open();
            ownInputAwaitsJack_ = !ownInput_->offersJack();
        }
    }
    return check.sounding;
}

}  // namespace vireon::app
