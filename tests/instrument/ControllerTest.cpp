// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI controllers: the positions their values stand for, which control changes move what, and
// the text the bindings are kept in. The instrument acting on them is the live instrument's test.

#include <array>
#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "instrument/ControllerMap.h"
#include "instrument/ControllerText.h"
#include "midi/MidiMessage.h"

namespace vireon::instrument {
namespace {

using controls::ControlId;
using midi::packShortMessage;

TEST(Controllers, ValuesSpreadOverTheWholeRangeRoundedToTheStep) {
    struct Case {
        controls::Control control;
        int value;
        int position;
    };
    const controls::Control coarse{"c",
                                   "C",
                                   "C",
                                   0,
                                   10,
                                   0,
                                   3,
                                   controls::Unit::None,
                                   controls::Acts::AtOnce,
                                   controls::Acts::AtOnce,
                                   ""};
    const std::array<Case, 9> cases{{
        {controls::control(ControlId::Havoc), 0, 1},
        {controls::control(ControlId::Havoc), 127, 100},
        {controls::control(ControlId::Havoc), 64, 51},    // 1 + 64 * 99 / 127 = 50.9
        {controls::control(ControlId::Sustain), 1, 1},    // 0.79 rounds up
        {controls::control(ControlId::Decay), 63, 2481},  // 1 + 2479.8
        {controls::control(ControlId::Decay), 200, 5000},
        {coarse, 64, 6},    // steps of 3 from 0: 1.5 steps round to 2
        {coarse, 126, 9},   // the last whole step
        {coarse, 127, 10},  // the maximum itself, off the steps
    }};
    for (const Case& c : cases) {
        EXPECT_EQ(ControllerMap::positionFor(c.control, c.value), c.position)
            << c.control.name << " " << c.value;
    }
}

TEST(Controllers, OnlyBoundChannelOneControlChangesMoveAndEachControlHasOneController) {
    ControllerMap map;
    map.bind(ControlId::Havoc, 21);
    map.bind(ControlId::Bedlam, 21);  // takes 21 from Havoc
    map.bind(ControlId::Attack, 7);
    map.bind(ControlId::Attack, 8);     // lets go of 7
    map.bind(ControlId::Sustain, 120);  // a channel mode message: no binding
    EXPECT_EQ(map.controllerFor(ControlId::Sustain), std::nullopt);
    EXPECT_EQ(map.controllerFor(ControlId::Havoc), std::nullopt);
    EXPECT_EQ(map.controllerFor(ControlId::Bedlam), 21);
    EXPECT_EQ(map.controllerFor(ControlId::Attack), 8);

    const auto move = map.moveFor(packShortMessage(0xB0, 21, 127));
    ASSERT_TRUE(move.has_value());
    EXPECT_EQ(move->control, ControlId::Bedlam);
    EXPECT_EQ(move->position, 100);
    for (const std::uint32_t other : {packShortMessage(0xB1, 21, 127), packShortMessage(0xB0, 7, 9),
                                      packShortMessage(0x90, 21, 100)}) {
        EXPECT_FALSE(map.moveFor(other).has_value()) << other;
    }
    map.forget(ControlId::Bedlam);
    EXPECT_FALSE(map.moveFor(packShortMessage(0xB0, 21, 127)).has_value());
}

// The saved text reading back is the controllers file's test.
TEST(Controllers, TheTextPassesOverDamagedLines) {
    const ParsedControllers parsed = parseControllers(
        "# comment\r\n"
        "\n"
        "  bedlam\t 5  \r\n"
        "havoc 120\n"   // not a controller that can be bound
        "havoc 0021\n"  // more digits than a controller number has
        "loudness 3\n"  // no such control
        "attack\n"      // no number
        "decay 4 5\n"
        "sustain -1\n"
        "bedlam 6");  // the last line wins, without a line end
    EXPECT_EQ(parsed.controllers.controllerFor(ControlId::Bedlam), 6);
    EXPECT_EQ(parsed.controllers.controllerFor(ControlId::Havoc), std::nullopt);
    EXPECT_EQ(parsed.damagedLines, (std::vector<std::size_t>{4, 5, 6, 7, 8, 9}));
}

}  // namespace
}  // namespace vireon::instrument
