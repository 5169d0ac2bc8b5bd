// SPDX-License-Identifier: GPL-3.0-or-later
// The stream callback at a converted rate: no allocation while notes come and go.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devices/audio/StreamCallback.h"
#include "live/LiveInstrument.h"
#include "midi/MidiMessage.h"
#include "tests/support/AllocationCounter.h"

namespace vireon::audio {
namespace {

TEST(AudioCallback, AtFortyEightKilohertzItAllocatesNothing) {
    if (!testsupport::AllocationCounter::available()) {
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";
    }
    live::LiveInstrument instrument;
    instrument.instrument().changeRate(48000);
    instrument.moveControl(controls::ControlId::Attack, 1);
    detail::StreamContext context(instrument);

    // Notes come from their own thread, as MIDI does, but only every few callbacks: each new
    // note first fades the previous one out for 1001 engine samples, so a keyboard racing ahead
    // of the renderer would keep every note in its fade and nothing would ever sound.
    std::atomic<bool> playing{true};
    std::atomic<int> callsDone{0};
    std::atomic<bool> firstNoteSent{false};
    std::thread keyboard([&] {
        for (int note = 0; playing.load(); ++note) {
            instrument.playMessage(
                midi::packShortMessage(note % 2 ? 0x80 : 0x90, 48 + note % 24, 100));
            firstNoteSent.store(true);
            const int due = callsDone.load() + 8;
            while (playing.load() && callsDone.load() < due) {
                std::this_thread::yield();
            }
        }
    });
    while (!firstNoteSent.load()) {
        std::this_thread::yield();
    }

    std::vector<float> block(4096);
    std::mt19937 random(48000);
    float loudest = 0.0f;
    std::uint64_t allocations = 0;
    {
        testsupport::AllocationCounter counter;
        for (int call = 0; call < 3000; ++call) {
            // Blocks of any size the host may choose, 0 included.
            const unsigned long frames = random() % (block.size() + 1);
            detail::renderCallback(nullptr, block.data(), frames, nullptr, 0, &context);
            callsDone.fetch_add(1);
            for (unsigned long i = 0; i < frames; ++i) {
                loudest = std::max(loudest, std::fabs(block[i]));
            }
        }
        allocations = counter.count();
    }
    playing.store(false);
    keyboard.join();
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(loudest, 0.0f) << "the notes never sounded";
}

// While a scope watches, the callback hands it exactly what it plays, without allocating; once
// the scope lets go, nothing more reaches the ring.
TEST(AudioCallback, CopiesWhatItPlaysToAnAttachedScopeOnly) {
    live::LiveInstrument instrument;
    detail::StreamContext context(instrument);
    instrument.playMessage(midi::packShortMessage(0x90, 60, 100));
    live::ScopeTap tap;
    std::vector<float> played(1500);
    std::vector<float> seen(4096);

    context.scopeTap.store(&tap);
    {
        testsupport::AllocationCounter counter;
        detail::renderCallback(nullptr, played.data(), 1500, nullptr, 0, &context);
        if (testsupport::AllocationCounter::available()) {
            EXPECT_EQ(counter.count(), 0u);
        }
    }
    ASSERT_EQ(tap.ring.pop(seen.data(), seen.size()), 1500u);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), seen.begin()));
    EXPECT_GT(*std::max_element(played.begin(), played.end()), 0.0f);

    context.scopeTap.store(nullptr);
    detail::renderCallback(nullptr, played.data(), 256, nullptr, 0, &context);
    EXPECT_EQ(tap.ring.available(), 0u);
}

}  // namespace
}  // namespace vireon::audio
