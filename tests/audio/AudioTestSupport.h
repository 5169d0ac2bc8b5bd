// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/SynthState.h"
#include "tests/support/JackServer.h"
#include "tests/support/Waiting.h"

// Every test here runs the real library against a private JACK server; jackd is part of the
// test setup, so only a machine without it skips them.
#define VIREON_SKIP_WITHOUT_JACKD()                                                     \
    do {                                                                                \
        if (!::vireon::testsupport::JackServer::findJackd()) {                          \
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2): skipped."; \
        }                                                                               \
    } while (false)

namespace vireon::audio {

using namespace std::chrono_literals;

/// Output port of this process's stream on ALSA's `jack` device: the client is named
/// "<program>.P.<pid>.<n>"; the mono signal appears on both of its ports.
inline std::string streamPortPattern() {
    return "\\.P\\." + std::to_string(::getpid()) + "\\.[0-9]+:out_000$";
}

/// A shutdown wait that only sleeps: there is no window in these tests.
inline void sleepInsteadOfWindowEvents(std::chrono::milliseconds wait) {
    std::this_thread::sleep_for(wait);
}

/// Waits until the stream's callback has rendered more than `samples` samples.
inline bool waitForRendering(const engine::SynthState& state, std::int32_t samples,
                             std::chrono::milliseconds timeout = 5s) {
    return testsupport::waitUntil([&] { return state.sampleCounter.load() > samples; }, timeout,
                                  1ms);
}

}  // namespace vireon::audio
