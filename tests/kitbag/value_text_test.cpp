#include "value_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using kitbag::parseBool;
using kitbag::parseInt32;

struct BoolCase {
    const char* text;
    std::optional<bool> expected;
};

TEST(ValueText, ReadsBooleansAsOneZeroTrueOrFalse) {
    const BoolCase cases[] = {
        {"1", true},          {"0", false},          {"true", true},        {"FALSE", false},
        {"True", true},       {"yes", std::nullopt}, {"2", std::nullopt},   {"", std::nullopt},
        {"01", std::nullopt}, {"1 ", std::nullopt},  {"tru", std::nullopt}, {"truex", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseBool(c.text), c.expected) << '"' << c.text << '"';
}

struct IntCase {
    const char* text;
    std::optional<int> expected;
};

TEST(ValueText, ReadsDecimalAndHexadecimalIntegersWithinThirtyTwoBits) {
    const IntCase cases[] = {
        {"0", 0},
        {"102400", 102400},
        {"-17", -17},
        {"+5", 5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"0x19000", 102400},
        {"0X1f", 31},
        {"0x7FFFFFFF", INT_MAX},
        {"0xFFFFFFFF", -1}, // the 32-bit pattern
        {"0x000000000001", 1},
        {"0x100000000", std::nullopt},
        {"0x", std::nullopt},
        {"0xG1", std::nullopt},
        {"-0x10", std::nullopt},
        {"12abc", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {" 1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseInt32(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ValueText, WritesOneAndZeroAndDecimal) {
    EXPECT_EQ(kitbag::formatBool(true), "1");
    EXPECT_EQ(kitbag::formatBool(false), "0");
    EXPECT_EQ(kitbag::formatInt32(INT_MIN), "-2147483648");
    EXPECT_EQ(kitbag::formatInt32(102400), "102400");
}

TEST(ValueText, EveryWrittenIntegerReadsBack) {
    for (int value : {INT_MIN, -1, 0, 1, 0x19000, INT_MAX})
        EXPECT_EQ(parseInt32(kitbag::formatInt32(value)), value);
}

} // namespace
