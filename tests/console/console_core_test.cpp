// The pipeline's parts on their own: the ring buffer, FormatString, the banner's time text, the stamps
// at a second's boundary and the debugger pieces.
#include "Console.h"
#include "api/console_settings.h"
#include "api/format_string.h"
#include "api/line_pipeline.h"
#include "state/log_ring_buffer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string filled(LogRingBuffer& buffer, std::int32_t size, const std::vector<std::string>& texts) {
    buffer.Allocate(size);
    for (const auto& text : texts) {
        EXPECT_TRUE(buffer.PrepareForWrite());
        buffer.Store(text.c_str());
    }
    return buffer.Read(false, false);
}

TEST(LogRingBuffer, KeepsTheMostRecentBytesOldestFirst) {
    LogRingBuffer buffer;
    EXPECT_EQ(filled(buffer, 8, {"0123456789"}), "23456789");
    EXPECT_EQ(buffer.Count(), 8);
    buffer.Store("ab");
    EXPECT_EQ(buffer.Read(false, false), "456789ab");

    EXPECT_EQ(filled(buffer, 8, {"abc"}), "abc") << "a new block restarts the ring";
    EXPECT_EQ(filled(buffer, 8, {"1234567", "8"}), "12345678") << "exactly full";
    EXPECT_EQ(filled(buffer, 8, {"1234567", "89"}), "23456789");
    EXPECT_EQ(filled(buffer, 3, {"a", "", "bcdefg", "h"}), "fgh");
    EXPECT_EQ(filled(buffer, 5, {"ab", "1234567"}), "34567") << "a text longer than the ring, from mid-ring";
    buffer.Store("xy");
    EXPECT_EQ(buffer.Read(false, false), "567xy");
}

TEST(LogRingBuffer, ReadBackMarksLineFeedsForHtmlOrTheWindow) {
    LogRingBuffer buffer;
    filled(buffer, 64, {"a\nb\n"});
    EXPECT_EQ(buffer.Read(false, false), "a\nb\n");
    EXPECT_EQ(buffer.Read(true, false), "a<p>\nb<p>\n");
    EXPECT_EQ(buffer.Read(false, true), "a\r\nb\r\n");
    EXPECT_EQ(buffer.Read(true, true), "a\r\nb\r\n") << "the window's carriage return wins over html";
}

TEST(LogRingBuffer, WithoutBlockNothingIsWrittenAndSizeZeroHoldsNothing) {
    LogRingBuffer none;
    EXPECT_FALSE(none.PrepareForWrite());
    EXPECT_EQ(none.Read(false, false), "");

    LogRingBuffer empty;
    EXPECT_EQ(filled(empty, 0, {"text that goes nowhere"}), "");
    EXPECT_TRUE(empty.HasBlock()) << "size 0 still lets the other sinks work";
}

TEST(LogRingBuffer, NegativeSizeFallsBackToTheDefault) {
    LogRingBuffer buffer;
    EXPECT_EQ(filled(buffer, -5, {"kept"}), "kept");
    EXPECT_EQ(buffer.Size(), LogRingBuffer::kDefaultSize);
}

TEST(FormatString, KeepsTextsUpToTheLimitWhole) {
    struct Case {
        std::size_t length;
        int expected;
    };
    for (const Case& c :
         {Case{0, 0}, Case{511, 511}, Case{512, 512}, Case{513, 513}, Case{600, 600}, Case{32768, 32768}}) {
        std::string text(c.length, 'x');
        std::string out = "old";
        EXPECT_EQ(FormatString(out, "%s", text.c_str()), c.expected) << c.length;
        EXPECT_EQ(out, text) << c.length;
    }
}

TEST(FormatString, ReplacesLongerTextsByTheErrorLine) {
    for (std::size_t length : {32769u, 40000u}) {
        std::string out;
        EXPECT_EQ(FormatString(out, "%s", std::string(length, 'y').c_str()), -1);
        EXPECT_EQ(out, "ERROR: Output of Format was to big to handle\n");
    }
}

TEST(FormatString, FormatsArgumentsAndTakesANullFormatFromOut) {
    std::string out;
    EXPECT_EQ(FormatString(out, "%02d:%02d:%02d - ", 9, 5, 3), 11);
    EXPECT_EQ(out, "09:05:03 - ");
    std::string selfFormatted = "100%% sure";
    FormatString(selfFormatted, nullptr);
    EXPECT_EQ(selfFormatted, "100% sure");
}

TEST(TimeStamp, TwoDigitsEachOnATwentyFourHourClock) {
    EXPECT_STREQ(FormatTimeStamp(9, 5, 3).text, "09:05:03 - ");
    EXPECT_STREQ(FormatTimeStamp(0, 0, 0).text, "00:00:00 - ");
    EXPECT_STREQ(FormatTimeStamp(23, 59, 59).text, "23:59:59 - ");
}

// A clock the test moves by hand; counts how often the pipeline asks it for the time.
struct ManualClock {
    static std::int64_t second;
    static platform::LocalTime time;
    static int timeReads;

    static std::int64_t Second() { return second; }
    static platform::LocalTime TimeAt(std::int64_t) {
        ++timeReads;
        return time;
    }
    static void Set(std::int64_t key, int hour, int minute, int seconds) {
        second = key;
        time = platform::LocalTime{2026, 12, 31, 4, hour, minute, seconds, 0};
    }
};
std::int64_t ManualClock::second = 0;
platform::LocalTime ManualClock::time{};
int ManualClock::timeReads = 0;
const StampClock manualStampClock{ManualClock::Second, ManualClock::TimeAt};

// The pipeline on a fresh load (banner written), buffer and log file on, the manual clock installed;
// the output after the banner, from the ring buffer and from the log file.
class Stamps : public ::testing::Test {
protected:
    testing_support::TemporaryFolder folder;
    std::string store = folder.file("settings.ini");
    std::string logFile = folder.file("stamps.log");
    testing_support::ScopedEnvironmentVariable pointAtStore{"KITBAG_SETTINGS", store};

    void SetUp() override {
        testing_support::writeFile(
            store, "[Debug]\nEnableLogToFile=1\nEnableLogToDebugOutput=0\nLogFile=" + logFile + "\n");
        LoadSettings(true);
        SetStampClock(&manualStampClock);
        ManualClock::timeReads = 0;
    }
    void TearDown() override {
        SetStampClock(nullptr);
        testing_support::writeFile(store, "");
        consoleState.logToFile = false;
        std::memset(consoleState.logFile, 0, sizeof consoleState.logFile);
        LoadSettings(true);
    }

    // The banner's time text ends with a line feed of its own: the banner is a line and an empty one.
    static std::string afterBanner(const std::string& text) {
        const std::size_t end = text.find("\n\n");
        return end == std::string::npos ? text : text.substr(end + 2);
    }
    std::string Buffered() const {
        char* copy = ReadDebugLog(false, false);
        std::string text = copy ? copy : "";
        std::free(copy);
        return afterBanner(text);
    }
    std::string InFile() const { return afterBanner(testing_support::readFile(logFile)); }
};

TEST_F(Stamps, AStampShowsTheSecondItsLineStartsInAndChangesExactlyWhenTheSecondDoes) {
    struct Step {
        std::int64_t key;
        int hour, minute, second;
        const char* text;
        bool stamp;
    };
    const Step steps[] = {
        {100, 12, 34, 58, "a\n", true},          {100, 12, 34, 58, "b", true},
        {101, 12, 34, 59, " same line\n", true}, // no stamp in the middle of a line, second or not
        {101, 12, 34, 59, "c\n", true},          {102, 12, 35, 0, "d\n", true},
        {102, 12, 35, 0, "unstamped\n", false},  {102, 12, 35, 0, "e\n", true},
        {86400, 0, 0, 0, "midnight\n", true},    {99, 12, 34, 57, "clock set back\n", true},
    };
    for (const Step& s : steps) {
        ManualClock::Set(s.key, s.hour, s.minute, s.second);
        ConsoleWriteText(s.text, s.stamp);
    }
    const std::string expected = "12:34:58 - a\n"
                                 "12:34:58 - b same line\n"
                                 "12:34:59 - c\n"
                                 "12:35:00 - d\n"
                                 "unstamped\n"
                                 "12:35:00 - e\n"
                                 "00:00:00 - midnight\n"
                                 "12:34:57 - clock set back\n";
    EXPECT_EQ(Buffered(), expected);
    EXPECT_EQ(InFile(), expected) << "the file gets each stamp with its line";
    EXPECT_EQ(ManualClock::timeReads, 5) << "the time of day is read once for each second that stamps";
}

TEST_F(Stamps, ALineWrittenInTheSameSecondAfterTheTimeOfDayChangedKeepsTheSecondsStamp) {
    // The stamp belongs to the second: within one second the text is the one made at its first line.
    ManualClock::Set(500, 8, 0, 1);
    ConsoleWriteText("first\n", true);
    ManualClock::time.hour = 9;
    ConsoleWriteText("second\n", true);
    ManualClock::Set(501, 9, 0, 2);
    ConsoleWriteText("third\n", true);
    EXPECT_EQ(Buffered(), "08:00:01 - first\n08:00:01 - second\n09:00:02 - third\n");
}

TEST_F(Stamps, AFormattedTextEndsAtANulItsConversionsPutIn) {
    // "%c" of 0 puts a NUL into the formatted text: the text ends there for every sink, and the next
    // text goes on the same line.
    ManualClock::Set(700, 7, 0, 0);
    CS_TRACE("cut%c after\n", 0);
    CS_TRACE("%s\n", "next");
    EXPECT_EQ(Buffered(), "07:00:00 - cutnext\n");
    EXPECT_EQ(InFile(), "07:00:00 - cutnext\n");
}

TEST_F(Stamps, TheSystemClockStampsWithTheLocalTimeToTheSecond) {
    SetStampClock(nullptr);
    const platform::LocalTime before = platform::localTimeToTheSecond();
    ConsoleWriteText("now\n", true);
    const platform::LocalTime after = platform::localTimeToTheSecond();
    const std::string text = Buffered();
    const std::string early =
        std::string(FormatTimeStamp(before.hour, before.minute, before.second).text) + "now\n";
    const std::string late =
        std::string(FormatTimeStamp(after.hour, after.minute, after.second).text) + "now\n";
    EXPECT_TRUE(text == early || text == late) << text;
}

TEST(StartBanner, TimeTextHasTheAsctimeLayout) {
    EXPECT_EQ(AsctimeText(1993, 6, 30, 3, 21, 49, 8), "Wed Jun 30 21:49:08 1993\n");
    EXPECT_EQ(AsctimeText(2026, 12, 9, 3, 0, 0, 0), "Wed Dec  9 00:00:00 2026\n");
    EXPECT_EQ(AsctimeText(2027, 1, 3, 0, 23, 59, 59), "Sun Jan  3 23:59:59 2027\n");
}

std::vector<std::string> sentPieces;
void capturePiece(const char* piece) {
    sentPieces.emplace_back(piece);
}

TEST(DebuggerOutput, LongTextsGoOutInPiecesOfAThousandBytes) {
    struct Case {
        std::size_t length;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {{0, {0}},
                          {999, {999}},
                          {1000, {1000}},
                          {1001, {1000, 1}},
                          {2500, {1000, 1000, 500}},
                          {3000, {1000, 1000, 1000}}};
    for (const Case& c : cases) {
        std::string text;
        for (std::size_t i = 0; i < c.length; ++i)
            text += static_cast<char>('a' + i % 26);
        sentPieces.clear();
        SendInDebuggerPieces(text.c_str(), capturePiece);
        ASSERT_EQ(sentPieces.size(), c.pieces.size()) << c.length;
        std::string joined;
        for (std::size_t i = 0; i < sentPieces.size(); ++i) {
            EXPECT_EQ(sentPieces[i].size(), c.pieces[i]) << c.length << " piece " << i;
            joined += sentPieces[i];
        }
        EXPECT_EQ(joined, text) << "pieces in order, nothing added between them";
    }
}

} // namespace
