// The message builder and dispatch to the callback, in this process. The process's log takes its word
// from the "logging" variable set below before anything asks for the log: 0x108 (logging on, no sink of
// its own, threshold TRACE), so CLog::INFO is disabled and the rest reach the callback only.
#include "Console.h"

#include "log/log_time_text.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const bool kConfigured = platform::setEnvironmentVariable("logging", "00000108");

struct Received {
    CLog::LogSeverity severity;
    std::string text;
};

class CapturingCallback : public CLogCallback {
public:
    std::vector<Received> received;
    bool acceptsAlerts = true;
    bool throwOnMessage = false;
    int calls = 0;

    bool AcceptsSeverity(CLog::LogSeverity severity) override { return severity < 6 || acceptsAlerts; }
    void OnMessage(CLog::LogSeverity severity, const CLog& log) override {
        ++calls;
        if (throwOnMessage)
            throw std::runtime_error("client failure");
        received.push_back({severity, log.GetMessageText()});
    }
};

class Builder : public ::testing::Test {
protected:
    CLog& log = CS_GetLog();
    CapturingCallback callback;

    void SetUp() override {
        ASSERT_TRUE(kConfigured);
        log.SetLogCallback(&callback);
    }
    void TearDown() override { log.SetLogCallback(nullptr); }

    // The text after the time and prefix of the one message received.
    std::string body() {
        EXPECT_EQ(callback.received.size(), 1u);
        if (callback.received.empty())
            return "";
        std::string text = callback.received.back().text;
        callback.received.clear();
        std::size_t colon = text.find(": ");
        return colon == std::string::npos ? text : text.substr(colon + 2);
    }
};

TEST_F(Builder, MessageIsTimePrefixTextAndALineFeed) {
    log << CLog::WARNING << "a" << 12;
    ASSERT_EQ(callback.received.size(), 1u);
    EXPECT_EQ(callback.received[0].severity, CLog::WARNING);
    EXPECT_TRUE(
        std::regex_match(callback.received[0].text, std::regex(R"(\d\d:\d\d:\d\d:\d\d\d WARNING: a12\n)")))
        << callback.received[0].text;
}

TEST_F(Builder, PrefixesOfEverySeverity) {
    const char* prefixes[] = {nullptr,    " TRACE: ",  " WARNING: ",   " ERROR: ",
                              " FATAL: ", " ALWAYS: ", " USERALERT: ", " USERINTERVENTION: "};
    for (int s = 1; s < 8; ++s) {
        log << static_cast<CLog::LogSeverity>(s) << "x";
        ASSERT_EQ(callback.received.size(), 1u) << s;
        EXPECT_EQ(callback.received[0].text.substr(12), std::string(prefixes[s]) + "x\n");
        callback.received.clear();
    }
}

TEST_F(Builder, NumbersInEachRadix) {
    struct Case {
        std::string expected;
        std::function<void(CLogReffed&)> insert;
    };
    const std::vector<Case> cases = {
        {"ff255", [](CLogReffed& b) { b << Hex << 255 << Dec << 255; }},
        {"11111111", [](CLogReffed& b) { b << Bin << 255; }},
        {"z",
         [](CLogReffed& b) {
             b.SetRadix(36);
             b << 35;
         }},
        {"255255",
         [](CLogReffed& b) {
             b.SetRadix(1);
             b << 255;
             b.SetRadix(37);
             b << 255;
         }},
        {"-1ffffffff", [](CLogReffed& b) { b << -1 << Hex << -1; }},
        {"-2147483648", [](CLogReffed& b) { b << INT_MIN; }},
        {"4294967295", [](CLogReffed& b) { b << 4294967295UL; }},
        {"ffffffff", [](CLogReffed& b) { b << Hex << 4294967295UL; }},
        {"0", [](CLogReffed& b) { b << 0; }},
        {"true false", [](CLogReffed& b) { b << true << " " << false; }},
    };
    for (const Case& c : cases) {
        {
            CLogReffed builder = log << CLog::TRACE;
            c.insert(builder);
        }
        EXPECT_EQ(body(), c.expected + "\n");
    }
}

TEST_F(Builder, TextInsertions) {
    unsigned short wide[] = {'w', 'i', 'd', 'e', 0};
    unsigned short* widePointer = wide;
    unsigned short* nullWide = nullptr;
    const char* nullText = nullptr;
    log << CLog::TRACE << "[" << nullText << "][" << nullWide << "][" << widePointer << "]["
        << TWinString<char>("twin") << "][" << TWinString<char>() << "]";
    EXPECT_EQ(body(), "[<null>][<null>][wide][twin][]\n");
}

TEST_F(Builder, ErrorCodeShowsItsTextAndResetsTheRadix) {
    std::string text;
    ASSERT_TRUE(platform::systemErrorText(2, text));
    log << CLog::ERROR << Hex << 2L << " " << 255;
    EXPECT_EQ(body(), text + " (0x2) 255\n");
    log << CLog::ERROR << 0x20001234L;
    EXPECT_EQ(body(), "(0x20001234)\n");
}

TEST_F(Builder, DisabledMessageConvertsNothingAndIsNotDispatched) {
    ASSERT_FALSE(log.IsEnabledFor(CLog::INFO));
    {
        CLogReffed builder = log << CLog::INFO;
        builder << "text" << 12 << Hex << 255 << 5L << Endl;
        EXPECT_EQ(log.GetMessageText(), "text\n") << "text is kept, numbers are not converted";
    }
    EXPECT_TRUE(callback.received.empty());
    EXPECT_EQ(log.GetMessageText(), "") << "emptied at dispatch";
}

TEST_F(Builder, CopiesHandTheMessageOverAndDispatchOnce) {
    {
        CLogReffed first = log << CLog::TRACE;
        first << "one";
        CLogReffed second(first);
        first << "lost"; // first no longer holds the message
        second << " two" << Endl << "three";
        EXPECT_TRUE(callback.received.empty()) << "nothing dispatched while a holder lives";
    }
    EXPECT_EQ(body(), "one two\nthree\n") << "one multi-line message, dispatched once";
}

TEST_F(Builder, TextEndingInALineFeedGetsNoSecondAndEmptyMessagesAreNotSent) {
    log << CLog::TRACE << "done" << Endl;
    EXPECT_EQ(body(), "done\n");
    log << CLog::TRACE << "first";
    log << CLog::TRACE << "second";
    ASSERT_EQ(callback.received.size(), 2u);
    EXPECT_EQ(callback.received[1].text.find("first"), std::string::npos)
        << "texts are emptied between messages";
}

TEST_F(Builder, UserMarkAndDateAndTime) {
    {
        CLogReffed builder = log << CLog::TRACE;
        builder << "before" << User << "after";
        EXPECT_EQ(log.GetMessageText().substr(log.GetMessageText().find("before") + 6), "after");
    }
    body();
    log << CLog::TRACE << Date << " | " << Time;
    std::string text = body();
    EXPECT_TRUE(std::regex_match(
        text,
        std::regex(
            R"((Sun|Mon|Tues|Wednes|Thurs|Fri|Satur)day [1-3]?\d [A-Z][a-z]+ \d{4} \| \d\d:\d\d:\d\d:\d\d\d\n)")))
        << text;
}

platform::LocalTime dateOf(int year, int month, int day, int dayOfWeek) {
    return platform::LocalTime{year, month, day, dayOfWeek, 0, 0, 0, 0};
}

TEST(LogTimeText, DatesOfEveryWeekdayAndMonth) {
    struct Case {
        platform::LocalTime date; // real dates: the day of the week is the calendar's
        const char* text;
    };
    const Case cases[] = {
        {dateOf(2026, 1, 4, 0), "Sunday 4 January 2026"},
        {dateOf(2026, 2, 2, 1), "Monday 2 February 2026"},
        {dateOf(2026, 3, 3, 2), "Tuesday 3 March 2026"},
        {dateOf(2026, 4, 1, 3), "Wednesday 1 April 2026"},
        {dateOf(2026, 5, 7, 4), "Thursday 7 May 2026"},
        {dateOf(2026, 6, 5, 5), "Friday 5 June 2026"},
        {dateOf(2026, 7, 4, 6), "Saturday 4 July 2026"},
        {dateOf(2026, 8, 2, 0), "Sunday 2 August 2026"},
        {dateOf(2026, 9, 7, 1), "Monday 7 September 2026"},
        {dateOf(2026, 10, 6, 2), "Tuesday 6 October 2026"},
        {dateOf(2026, 11, 4, 3), "Wednesday 4 November 2026"},
        {dateOf(2026, 12, 8, 2), "Tuesday 8 December 2026"},
        {dateOf(2026, 12, 31, 4), "Thursday 31 December 2026"},
        {dateOf(2000, 2, 29, 2), "Tuesday 29 February 2000"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(FormatLogDate(c.date).text, c.text);
}

TEST(LogTimeText, TimesAreTwoDigitsEachAndThreeForTheMilliseconds) {
    struct Case {
        int hour, minute, second, milliseconds;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, 0, 0, "00:00:00:000"},      {9, 5, 3, 7, "09:05:03:007"},
        {14, 3, 27, 15, "14:03:27:015"},   {12, 34, 56, 250, "12:34:56:250"},
        {23, 59, 59, 999, "23:59:59:999"}, {10, 10, 10, 100, "10:10:10:100"},
    };
    for (const Case& c : cases) {
        platform::LocalTime time{2026, 12, 8, 2, c.hour, c.minute, c.second, c.milliseconds};
        EXPECT_STREQ(FormatLogTime(time).text, c.text);
    }
}

TEST_F(Builder, UserAlertTakenByTheCallbackShowsNoAlert) {
    log << CLog::USERALERT << "to the client";
    ASSERT_EQ(callback.received.size(), 1u);
    EXPECT_EQ(callback.received[0].severity, CLog::USERALERT);
}

TEST_F(Builder, CallbackThatThrowsIsDroppedAndLoggingGoesOn) {
    callback.throwOnMessage = true;
    log << CLog::TRACE << "first";
    log << CLog::TRACE << "second";
    EXPECT_EQ(callback.calls, 1) << "called once and never again";
    EXPECT_EQ(log.GetMessageText(), "");
    CapturingCallback next;
    log.SetLogCallback(&next);
    log << CLog::TRACE << "third";
    ASSERT_EQ(next.received.size(), 1u);
    EXPECT_NE(next.received[0].text.find("third"), std::string::npos);
}

TEST_F(Builder, LogFileSwitch) {
    EXPECT_FALSE(log.GetLogToFile());
    EXPECT_EQ(log.GetLogFilename(), TWinString<char>(""));
    log.SetLogToFile(true);
    EXPECT_TRUE(log.GetLogToFile());
    EXPECT_EQ(log.GetLogFilename().str(), platform::executablePath() + ".log");
    log.SetLogToFile(false);
    EXPECT_FALSE(log.GetLogToFile());
    EXPECT_TRUE(log.GetLogFilename().empty());
}

} // namespace
