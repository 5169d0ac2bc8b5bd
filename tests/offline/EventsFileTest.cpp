// SPDX-License-Identifier: GPL-3.0-or-later
#include "offline/EventsFile.h"

#include <gtest/gtest.h>

#include <string>

namespace vireon::offline {
namespace {

std::vector<TimedMessage> parsed(std::string_view text) {
    return std::get<std::vector<TimedMessage>>(parseEvents(text));
}

TEST(OfflineEventsFile, ReadsDecimalHexCommentsBlankLinesAndCrLf) {
    const std::vector<TimedMessage> expected = {
        {0, 0x644590},            // note-on 69, velocity 100
        {40, 0x0045'80},          // note-off 69
        {40, 0xF8},               // clock, passed through like any status byte
        {4294967295u, 0xFFFFFF},  // every field at its largest
    };
    EXPECT_EQ(parsed("# a comment line\n"
                     "0 0x90 69 100   # note-on\n"
                     "\n"
                     "   \t \n"
                     "0x28\t0X80 0x45 0\r\n"
                     "40 248 0 0#clock\n"
                     "4294967295 255 0xff 0xFF"),
              expected);
    EXPECT_TRUE(parsed("").empty());
    EXPECT_TRUE(parsed("# nothing but a comment").empty());
}

TEST(OfflineEventsFile, RefusesMalformedLinesNamingTheLine) {
    struct Case {
        std::string text;
        std::size_t line;
        std::string messagePart;
    };
    const Case cases[] = {
        {"0 0x90 69\n", 1, "expected 4 numbers"},
        {"# header\n\n0 0x90 69 100 7\n", 3, "found 5 fields"},
        {"0 0x90 69 100\n12a 0x80 69 0\n", 2, "the sample number \"12a\" is not a number"},
        {"-1 0x90 69 100\n", 1, "sample number \"-1\""},
        {"0 0x 69 100\n", 1, "status byte \"0x\""},
        {"0 256 69 100\n", 1, "status byte 256 is out of range; it must be 0 to 255"},
        {"0 0x90 0x100 100\n", 1, "first data byte 0x100 is out of range"},
        {"0 0x90 69 1000\n", 1, "second data byte 1000 is out of range"},
        {"4294967296 0x90 69 100\n", 1, "sample number 4294967296 is out of range"},
        {"40 0x90 69 100\n40 0x80 69 0\n\n12 0x90 70 1\n", 4,
         "sample numbers must not decrease (12 after 40)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto result = parseEvents(c.text);
        const auto* error = std::get_if<EventsFileError>(&result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->line, c.line);
        EXPECT_NE(error->message.find(c.messagePart), std::string::npos) << error->message;
    }
}

}  // namespace
}  // namespace vireon::offline
