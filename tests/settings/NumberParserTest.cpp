// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/NumberParser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "engine/ChaosOscillator.h"
#include "engine/SynthState.h"

namespace vireon::settings {
namespace {

struct ParseCase {
    std::string_view text;
    std::int64_t value;
};

TEST(NumberParserTest, ReadsTheLeadingIntegerInEachBase) {
    const ParseCase cases[] = {
        {"10", 10},
        {"25", 25},
        {"100", 100},
        {"007", 7},
        {"  -3abc", -3},
        {"\t\t12", 12},
        {" \t 42 ", 42},
        {"+8", 8},
        {"$1F", 31},
        {"$ff", 255},
        {"$1g", 1},
        {"-$10", -16},
        {"%101", 5},
        {"%102", 2},
        {"+%11", 3},
        {"7.9", 7},
        {"1e5", 1},
        {"0x1F", 0},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"$", 0},
        {"%", 0},
        {"--5", 0},
        {"+-5", 0},
        {"- 5", 0},
        {"\n5", 0},
        {"\xEF\xBB\xBF"
         "5",
         0},
        {"12\0"
         "34",
         12},
        {"5|6", 5},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(parseNumber(c.text), c.value) << "text: \"" << c.text << '"';
    }
}

TEST(NumberParserTest, WrapsModulo2To64InsteadOfFailing) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(parseNumber("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parseNumber("9223372036854775808"), kMin);
    EXPECT_EQ(parseNumber("-9223372036854775808"), kMin);
    EXPECT_EQ(parseNumber("18446744073709551615"), -1);
    EXPECT_EQ(parseNumber("18446744073709551616"), 0);
    EXPECT_EQ(parseNumber("18446744073709551627"), 11);
    EXPECT_EQ(parseNumber("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(parseNumber("$10000000000000005"), 5);
    EXPECT_EQ(parseNumber("-$8000000000000000"), kMin);
    // 65 ones: the top bit falls off, leaving 64 ones.
    EXPECT_EQ(parseNumber("%" + std::string(65, '1')), -1);
}

TEST(NumberParserTest, DigitScanStopsAtTheFirstOtherCharacterAndFlagsWrapping) {
    const DigitRun hex = scanDigits("fF9g1", 16);
    EXPECT_EQ(hex.value, 0xFF9u);
    EXPECT_EQ(hex.length, 3u);
    EXPECT_FALSE(hex.wrapped);
    EXPECT_EQ(scanDigits("102", 2).length, 2u);
    EXPECT_EQ(scanDigits("x1", 10).length, 0u);

    const DigitRun largest = scanDigits("18446744073709551615", 10);
    EXPECT_EQ(largest.value, std::numeric_limits<std::uint64_t>::max());
    EXPECT_FALSE(largest.wrapped);
    const DigitRun beyond = scanDigits("18446744073709551616", 10);
    EXPECT_EQ(beyond.value, 0u);
    EXPECT_TRUE(beyond.wrapped);
    EXPECT_TRUE(scanDigits("1" + std::string(16, '0'), 16).wrapped);
}

struct DisorderCase {
    std::string_view text;
    std::uint32_t sBits;
};

TEST(NumberParserTest, TextGivesTheDisorderBitsOfTheDesign) {
    const DisorderCase cases[] = {
        {"10", 0x3ECCCCCD},   {"25", 0x3F800000},  {"  -3abc", 0xBDF5C28F}, {"$1F", 0x3F9EB852},
        {"%101", 0x3E4CCCCD}, {"7.9", 0x3E8F5C29}, {"abc", 0x00000000},     {"100", 0x40800000},
        {"9", 0x3EB851EC},    {"-5", 0xBE4CCCCD},
    };
    for (const DisorderCase& c : cases) {
        engine::SynthState state;
        engine::setDisorder(state, parseNumber(c.text));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(state.s.load()), c.sBits) << "text: " << c.text;
    }
}

}  // namespace
}  // namespace vireon::settings
