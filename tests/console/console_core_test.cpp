// The pipeline's parts on their own: the ring buffer, FormatString, the banner's time text and the
// debugger pieces.
#include "api/format_string.h"
#include "api/line_pipeline.h"
#include "api/log_ring_buffer.h"
#include "window/console_state.h"

#include <gtest/gtest.h>

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
