// The rules around CLog's logging word, as pure functions.
#include "log/logging_word.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace logging_word;

TEST(LoggingWord, ParsesHexadecimalPrefixes) {
    struct Case {
        const char* text;
        std::uint32_t word;
    };
    const Case cases[] = {
        {"3", 0x3},
        {"0x10107", 0x10107},
        {"0X305", 0x305},
        {"  \t7", 0x7},
        {"00000001", 0x1},
        {"ff\"", 0xff},
        {"12 next", 0x12},
        {"", 0},
        {"zz", 0},
        {"0x", 0},
        {"123456789", 0x23456789}, // modulo 2^32
        {"FFFFFFFF", 0xFFFFFFFF},
        {"00000102000", 0x102000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseHex(c.text), c.word) << '"' << c.text << '"';
    EXPECT_EQ(FormatWord(0x107), "00000107");
    EXPECT_EQ(FormatWord(0xABCDEF12), "ABCDEF12");
}

struct OptionCase {
    const char* line;
    const char* found; // the text from the separator, or nullptr
    const char* afterRemoval;
};

TEST(LoggingWord, FindsAndRemovesTheOption) {
    const OptionCase cases[] = {
        {"host.exe -logging:7 file.avi", "-logging:7 file.avi", "host.exe file.avi"},
        {"host.exe /LOGGING:0x305", "/LOGGING:0x305", "host.exe "},
        {"host.exe x-Logging:3  next", "-Logging:3  next", "host.exe xnext"},
        {"\"C:\\a b\\host.exe\" \"/logging:1\" tail", "/logging:1\" tail", "\"C:\\a b\\host.exe\" \"tail"},
        {"host -log -logging:1\t-logging:2", "-logging:1\t-logging:2", "host -log -logging:2"},
        {"host logging:1 -loggin:2 /logginG", nullptr, nullptr},
    };
    for (const OptionCase& c : cases) {
        std::string line = c.line;
        char* option = FindOption(line.data());
        if (!c.found) {
            EXPECT_EQ(option, nullptr) << c.line;
            continue;
        }
        ASSERT_NE(option, nullptr) << c.line;
        EXPECT_STREQ(option, c.found);
        RemoveOption(option);
        EXPECT_STREQ(line.c_str(), c.afterRemoval);
    }
}

TEST(LoggingWord, UnderADebuggerThePipelineIsOnAndTheThresholdAtMostTrace) {
    EXPECT_EQ(UnderDebugger(0x305), 0x107u);
    EXPECT_EQ(UnderDebugger(0x7), 0x7u) << "threshold 0 stays";
    EXPECT_EQ(UnderDebugger(0x101), 0x103u) << "threshold 1 stays";
    EXPECT_EQ(UnderDebugger(0xFFFF0001), 0x103u) << "high bits go with a replaced threshold";
}

TEST(LoggingWord, EnabledSeverities) {
    struct Case {
        std::uint32_t word;
        const char* enabled; // severities 0..7
    };
    const Case cases[] = {
        {0x00000100, "00000011"}, // default: logging off, only the user-facing severities
        {0x00000102, "01111111"}, {0x00000007, "11111111"},
        {0x00000000, "00000011"}, {0x00000900, "00000000"}, // threshold 9: nothing
        {0x00000608, "00000011"}, {0x00000408, "00001111"},
    };
    for (const Case& c : cases) {
        std::string enabled;
        for (int s = 0; s < 8; ++s)
            enabled += IsEnabled(c.word, s) ? '1' : '0';
        EXPECT_EQ(enabled, c.enabled) << std::hex << c.word;
    }
    EXPECT_FALSE(IsEnabled(0x7, 8)) << "no such severity";
    EXPECT_FALSE(IsEnabled(0x7, -1));
}

TEST(LoggingWord, LogFileNameIsTheExecutablePathWithLogOrNothing) {
    EXPECT_EQ(LogFileName("D:\\app\\host.exe", 259), "D:\\app\\host.exe.log");
    EXPECT_EQ(LogFileName(std::string(255, 'a'), 259), std::string(255, 'a') + ".log") << "exactly fits";
    EXPECT_EQ(LogFileName(std::string(256, 'a'), 259), "") << "too long: off, never cut";
    EXPECT_EQ(LogFileName("", 259), "") << "unknown executable: off";
}

TEST(LoggingWord, RunningTimeText) {
    const std::int64_t ms = 10000; // ticks per millisecond
    EXPECT_EQ(RunningTime(5250 * ms), "00:00:05:250");
    EXPECT_EQ(RunningTime((3723004) * ms), "01:02:03:004");
    EXPECT_EQ(RunningTime((2 * 86400000LL + 3 * 3600000 + 4 * 60000 + 5006) * ms), "2 Days 03:04:05:006");
    EXPECT_EQ(RunningTime(30LL * 86400000 * ms), "30 Days 00:00:00:000") << "past 24.8 days";
    EXPECT_EQ(RunningTime(0), "00:00:00:000");
}

} // namespace
