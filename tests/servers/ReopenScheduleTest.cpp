// SPDX-License-Identifier: GPL-3.0-or-later
// While the output is lost, attempts to reopen it thin out to one in kLongestGap, and a sign of a
// server's return brings them back to once a second.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "devices/servers/ReopenSchedule.h"

namespace vireon::servers {
namespace {

using namespace std::chrono_literals;
using Milliseconds = std::vector<long long>;

// Looks four times a second, as the program does, for `length` after the loss; a sign is seen at
// the first look at or after each time in `signs`. Returns the attempts' times.
Milliseconds attempts(std::chrono::milliseconds length, const Milliseconds& signs,
                      bool awaitSign = false) {
    const ReopenSchedule::Clock::time_point start{};
    ReopenSchedule schedule;
    schedule.lost(start, awaitSign);
    Milliseconds result;
    std::size_t nextSign = 0;
    for (std::chrono::milliseconds at{250}; at <= length; at += 250ms) {
        const bool sign = nextSign < signs.size() && at.count() >= signs[nextSign];
        nextSign += sign ? 1 : 0;
        if (schedule.due(start + at, sign)) {
            result.push_back(at.count());
        }
    }
    return result;
}

TEST(ReopenSchedule, AttemptsThinOutAndASignBringsThemBack) {
    struct Case {
        const char* what;
        std::chrono::milliseconds length;
        Milliseconds signs;
        Milliseconds expected;
        bool awaitSign = false;
    };
    const Case cases[] = {
        {"no sign: gaps grow up to the longest",
         112s,
         {},
         {1000, 5000, 21000, 51000, 81000, 111000}},
        {"a sign between attempts: at once, then once a second for a while",
         30s,
         {17100},
         {1000, 5000, 17250, 18250, 19250, 20250, 21250, 22250}},
        {"a sign just after an attempt: not sooner than half a second",
         10s,
         {5100},
         {1000, 5000, 5500, 6500, 7500, 8500, 9500}},
        {"awaiting a sign: none without one", 112s, {}, {}, true},
        {"awaiting a sign: the first sign starts the attempts, which then thin out as usual",
         33s,
         {7100},
         {7250, 8250, 9250, 10250, 11250, 12250, 16250, 32250},
         true},
        {"awaiting a sign that came with the loss: at half a second",
         3s,
         {0},
         {500, 1500, 2500},
         true},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(attempts(test.length, test.signs, test.awaitSign), test.expected) << test.what;
    }
}

}  // namespace
}  // namespace vireon::servers
