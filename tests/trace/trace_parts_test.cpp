// Trace's parts on their own: the hex dump, the file names and periods, the leveled record and the queue.
#include "hex_dump.h"
#include "level_record.h"
#include "msg_list.h"
#include "time_prefix_cache.h"
#include "trace_file_names.h"
#include "trace_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A clock that shows what the test set.
class ControlledClockForParts final : public TraceClock {
public:
    platform::LocalTime Now() const override { return now; }

    platform::LocalTime now{};
};

TEST(HexDump, RowsOfSixteenBytes) {
    struct Case {
        std::vector<unsigned char> bytes;
        std::string expected;
    };
    std::vector<unsigned char> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.push_back(static_cast<unsigned char>('A' + i));
    std::vector<unsigned char> seventeen = sixteen;
    seventeen.push_back(0x00);
    const std::string blanks51(51, ' ');
    const Case cases[] = {
        {sixteen,
         "\n00000000: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50    ABCDEFGHIJKLMNOP\n00000010: " +
             blanks51 + "\n"},
        {seventeen,
         "\n00000000: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50    ABCDEFGHIJKLMNOP\n00000010: 00 " +
             std::string(45, ' ') + "   .\n"},
        {{0x1F, 0x20, 0x7F, 0x80, 0x81, 0xFF},
         "\n00000000: 1F 20 7F 80 81 FF " + std::string(30, ' ') + "   . \x7F\x80..\n"},
    };
    for (const Case& c : cases) {
        std::string out = "old";
        EXPECT_EQ(TraceHexDump(out, c.bytes.data(), static_cast<int>(c.bytes.size())),
                  static_cast<int>(c.bytes.size()));
        EXPECT_EQ(out, c.expected);
    }
}

TEST(HexDump, NothingForNoBytes) {
    unsigned char byte = 1;
    std::string out = "untouched";
    EXPECT_EQ(TraceHexDump(out, nullptr, 5), 0);
    EXPECT_EQ(TraceHexDump(out, &byte, 0), 0);
    EXPECT_EQ(TraceHexDump(out, &byte, -3), 0);
    EXPECT_EQ(out, "untouched");
}

TEST(HexDump, RowsStopOnceTheWantedTextIsThere) {
    std::vector<unsigned char> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i);
    std::string whole;
    ASSERT_EQ(TraceHexDump(whole, bytes.data(), 1000), 1000);
    for (std::size_t wanted :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{78}, std::size_t{79}, std::size_t{3000},
          whole.size() - 1, whole.size(), std::size_t{100000}}) {
        SCOPED_TRACE(wanted);
        std::string out;
        EXPECT_EQ(TraceHexDump(out, bytes.data(), 1000, wanted), 1000);
        // Whole rows from the start, just enough of them: the shortest run of rows that reaches wanted.
        std::size_t end = 1;
        while (end < wanted && end < whole.size())
            end = whole.find('\n', end) + 1;
        EXPECT_EQ(out, whole.substr(0, end));
    }
}

TEST(TraceFileNames, BothPatterns) {
    PeriodStamp april{2007, 4, 5, 9};
    EXPECT_EQ(PeriodFileName("C:\\app\\TraceFile", 42, april, 3, 7),
              "C:\\app\\TraceFile0000002a_200704059 -03-07.log");
    april.hour = 15;
    EXPECT_EQ(PeriodFileName("TraceFile", 42, april, 3, 7), "TraceFile0000002a_2007040515-03-07.log");
    EXPECT_EQ(SizeLimitFileName("TraceFile", 42, april, 3, 7), "TraceFile_0000002a_20070405150307.log");
    EXPECT_EQ(PeriodFileName("", -1, PeriodStamp{}, 59, 1), "ffffffff_000000000 -59-01.log")
        << "zero stamp, no base";
    EXPECT_EQ(SizeLimitFileName("x", -1, PeriodStamp{2026, 12, 31, 23}, 0, 0),
              "x_ffffffff_20261231230000.log");
}

TEST(TraceFileNames, PeriodChangeByMode) {
    const PeriodStamp stamp{2026, 12, 9, 22};
    struct Case {
        platform::LocalTime now;
        bool month, day, hour;
    };
    auto at = [](int y, int mo, int d, int h) { return platform::LocalTime{y, mo, d, 0, h, 30, 0, 0}; };
    const Case cases[] = {
        {at(2026, 12, 9, 22), false, false, false}, {at(2026, 12, 9, 23), false, false, true},
        {at(2026, 12, 10, 22), false, true, true},  {at(2026, 11, 9, 22), true, true, true},
        {at(2027, 12, 9, 22), true, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PeriodChanged(kRotateMonth, stamp, c.now), c.month);
        EXPECT_EQ(PeriodChanged(kRotateDay, stamp, c.now), c.day);
        EXPECT_EQ(PeriodChanged(kRotateHour, stamp, c.now), c.hour);
        EXPECT_FALSE(PeriodChanged(kRotateSize, stamp, c.now));
        EXPECT_FALSE(PeriodChanged(7, stamp, c.now));
    }
}

TEST(LevelRecord, LevelAndIdInTheirBytesAndBack) {
    struct Case {
        std::uint8_t level;
        std::int32_t id;
        std::vector<unsigned char> header;
    };
    const Case cases[] = {
        {0, 0, {0, 0, 0, 0, 0}},
        {9, -2, {9, 0xFE, 0xFF, 0xFF, 0xFF}},
        {255, 0x12345678, {0xFF, 0x78, 0x56, 0x34, 0x12}},
        {1, std::numeric_limits<std::int32_t>::min(), {1, 0, 0, 0, 0x80}},
        {128, std::numeric_limits<std::int32_t>::max(), {128, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        // At an odd address: the id is not aligned.
        char buffer[1 + kLevelRecordHeader + 4];
        char* record = buffer + 1;
        char* text = EncodeLevelRecord(record, c.level, c.id);
        ASSERT_EQ(text, record + kLevelRecordHeader);
        std::strcpy(text, "abc");
        EXPECT_EQ(std::vector<unsigned char>(record, record + kLevelRecordHeader), c.header);
        const std::optional<LevelRecord> decoded = DecodeLevelRecord(record, kLevelRecordHeader + 4);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->level, c.level);
        EXPECT_EQ(decoded->id, c.id);
        EXPECT_EQ(decoded->text, text);
    }
}

TEST(LevelRecord, NothingDecodedWithoutText) {
    char record[kLevelRecordHeader + 1] = {3, 1, 0, 0, 0, '\0'};
    EXPECT_FALSE(DecodeLevelRecord(nullptr, 10).has_value());
    for (std::size_t length = 0; length <= static_cast<std::size_t>(kLevelRecordHeader); ++length)
        EXPECT_FALSE(DecodeLevelRecord(record, length).has_value()) << length;
    EXPECT_TRUE(DecodeLevelRecord(record, kLevelRecordHeader + 1).has_value()) << "the terminator alone";
}

TEST(MsgList, TakesInOrderWithOrWithoutData) {
    CMsgList list;
    EXPECT_EQ(list.Capacity(), 1000u);
    EXPECT_EQ(list.SpareNodes(), 0u);
    EXPECT_FALSE(list.GetMsg()) << "empty";
    EXPECT_FALSE(list.WaitMsg(20)) << "the event is reset while empty";
    ASSERT_TRUE(list.PutMsg(0x802, 4, "abc"));
    ASSERT_TRUE(list.PutMsg(0x803, 0, "ignored"));
    ASSERT_TRUE(list.PutMsg(0x803, 5, nullptr));
    ASSERT_TRUE(list.PutType(0x801));
    ASSERT_TRUE(list.WaitMsg(1000));
    EXPECT_EQ(list.GetType(), 0x802);
    EXPECT_EQ(list.GetLength(), 4u);
    EXPECT_STREQ(static_cast<const char*>(list.GetData()), "abc");
    for (int type : {0x803, 0x803, 0x801}) {
        ASSERT_TRUE(list.GetMsg());
        EXPECT_EQ(list.GetType(), type);
        EXPECT_EQ(list.GetLength(), 0u);
        EXPECT_EQ(list.GetData(), nullptr);
    }
    EXPECT_FALSE(list.GetMsg());
    list.PutType(1);
    list.Clear();
    EXPECT_EQ(list.GetType(), -1);
    EXPECT_FALSE(list.GetMsg());
}

// A crash hands the queue from the consumer thread to the crashing thread only where the consumer holds
// nothing half done; the taker reads on from there, each message once, and the takes are counted.
TEST(MsgList, ACrashTakesTheQueueOverBetweenTheConsumersMessages) {
    CMsgList list;
    for (int type = 1; type <= 3; ++type)
        ASSERT_TRUE(list.PutType(type));
    list.StartConsuming();
    ASSERT_TRUE(list.WaitMsg(0));
    EXPECT_EQ(list.GetType(), 1);
    EXPECT_EQ(list.Takes(), 1u);
    EXPECT_FALSE(list.TakeOverConsumer(20, false)) << "the consumer is inside its message";
    list.BetweenMessages();
    EXPECT_TRUE(list.TakeOverConsumer(20, false));
    for (int type : {2, 3}) {
        ASSERT_TRUE(list.GetMsg());
        EXPECT_EQ(list.GetType(), type);
    }
    EXPECT_FALSE(list.GetMsg());
    EXPECT_EQ(list.Takes(), 3u);
}

TEST(MsgList, ACrashOfTheConsumerItselfOrWithoutConsumerTakesOverAtOnce) {
    CMsgList busy;
    ASSERT_TRUE(busy.PutType(1));
    busy.StartConsuming();
    ASSERT_TRUE(busy.WaitMsg(0));
    EXPECT_TRUE(busy.TakeOverConsumer(0, true)) << "the consumer itself crashed inside its message";
    CMsgList none;
    EXPECT_TRUE(none.TakeOverConsumer(0, false)) << "no consumer thread ran";
    CMsgList ended;
    ended.StartConsuming();
    ended.BetweenMessages(); // as the print thread ends
    EXPECT_TRUE(ended.TakeOverConsumer(0, false));
}

TEST(MsgList, ManyProducersOneConsumerKeepEachProducersOrder) {
    CMsgList list;
    constexpr int kProducers = 6;
    constexpr int kEach = 3000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&list, p] {
            for (int i = 0; i < kEach; ++i) {
                int payload[2] = {p, i};
                ASSERT_TRUE(list.PutMsg(0x802, sizeof payload, payload));
            }
        });
    }
    std::vector<int> next(kProducers, 0);
    int taken = 0;
    while (taken < kProducers * kEach) {
        if (!list.WaitMsg(5000))
            break;
        int payload[2];
        std::memcpy(payload, list.GetData(), sizeof payload);
        EXPECT_EQ(payload[1], next[static_cast<std::size_t>(payload[0])]++);
        ++taken;
    }
    for (auto& producer : producers)
        producer.join();
    EXPECT_EQ(taken, kProducers * kEach);
    EXPECT_FALSE(list.GetMsg());
}

TEST(MsgList, PagesHoldMessagesOfEverySizeAndGoBackWhenAsked) {
    // Messages of many sizes fill page after page, one is larger than a page (it goes back as soon as it
    // is read). Read pages serve again as spares until the consumer gives back those beyond 8 MB.
    constexpr std::size_t kPage = CMsgList::kPageBytes;
    CMsgList list;
    std::vector<std::string> sent;
    for (int i = 0; i < 20000; ++i)
        sent.push_back(std::string(static_cast<std::size_t>(i * 37 % 300), static_cast<char>('a' + i % 26)));
    sent[7000] = std::string(3 * kPage, 'L');
    for (std::size_t i = 0; i < sent.size(); ++i)
        ASSERT_TRUE(list.PutMsg(static_cast<int>(i), static_cast<unsigned>(sent[i].size()), sent[i].data(),
                                static_cast<unsigned>(i % 300)));
    const std::size_t held = list.MemoryHeld();
    EXPECT_GE(held, 3 * kPage + 20000 * 150) << "the messages, each with a short header";
    EXPECT_LE(held, 3 * kPage + 20000 * 170 + 2 * kPage) << "and hardly more";
    for (std::size_t i = 0; i < sent.size(); ++i) {
        ASSERT_TRUE(list.GetMsg()) << i;
        ASSERT_EQ(list.GetType(), static_cast<int>(i));
        ASSERT_EQ(list.GetLength(), sent[i].size());
        ASSERT_EQ(list.GetPrefixLength(), i % 300 > 255 ? 255u : i % 300);
        if (sent[i].empty())
            ASSERT_EQ(list.GetData(), nullptr);
        else
            ASSERT_EQ(std::string(static_cast<const char*>(list.GetData()), sent[i].size()), sent[i]) << i;
        EXPECT_EQ(list.BatchDone(), i + 1 == sent.size());
    }
    EXPECT_FALSE(list.GetMsg());
    EXPECT_GE(list.MemoryHeld(), 40 * kPage) << "read pages are kept as spares";
    // A queue filled and drained again and again: the spares serve, no page is added.
    const std::size_t spares = list.MemoryHeld();
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 5000; ++i)
            ASSERT_TRUE(list.PutMsg(1, 100, std::string(100, 'r').data()));
        while (list.GetMsg()) {
        }
        EXPECT_EQ(list.MemoryHeld(), spares) << round;
    }
    EXPECT_FALSE(list.HasSurplusSpares()) << "within what is kept for the next burst";
    // A flood of far more: all but what is kept goes back when asked.
    const std::string text(200, 'f');
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(list.PutMsg(1, static_cast<unsigned>(text.size()), text.data()));
    while (list.GetMsg()) {
    }
    EXPECT_GE(list.MemoryHeld(), 300 * kPage);
    EXPECT_TRUE(list.HasSurplusSpares());
    list.GiveBackSpares();
    EXPECT_FALSE(list.HasSurplusSpares());
    EXPECT_LE(list.MemoryHeld(), (CMsgList::kSparePagesKept + 1) * kPage) << "kept spares and the last page";
    list.Clear();
    EXPECT_LE(list.MemoryHeld(), CMsgList::kSparePagesKept * kPage) << "kept spares only";
}

TEST(MsgList, TrimmingKeepsWhatTheLastBurstNeeded) {
    // A trim keeps as many pages as were in use at the peak since the previous trim: bursts that come
    // again and again take nothing from the system; once the bursts stop, the next trim gives back all but
    // the spares kept for the next one.
    constexpr std::size_t kPage = CMsgList::kPageBytes;
    const std::string text(200, 't');
    CMsgList list;
    auto burst = [&](int messages) {
        for (int i = 0; i < messages; ++i)
            ASSERT_TRUE(list.PutMsg(1, static_cast<unsigned>(text.size()), text.data()));
        while (list.GetMsg()) {
        }
    };
    burst(100000);
    const std::size_t afterBurst = list.MemoryHeld();
    ASSERT_GE(afterBurst, 300 * kPage);
    list.TrimSpares();
    EXPECT_EQ(list.MemoryHeld(), afterBurst) << "the burst since the last trim needed them";
    for (int round = 0; round < 3; ++round) {
        burst(100000);
        list.TrimSpares();
        // A burst that begins in the page the last one ended in may take one page more.
        EXPECT_GE(list.MemoryHeld(), afterBurst) << "the same burst again: the same pages, " << round;
        EXPECT_LE(list.MemoryHeld(), afterBurst + kPage) << round;
    }
    burst(10); // a trickle: one page in use
    list.TrimSpares();
    EXPECT_LE(list.MemoryHeld(), (CMsgList::kSparePagesKept + 1) * kPage)
        << "kept spares and the page in use";
    EXPECT_GE(list.MemoryHeld(), CMsgList::kSparePagesKept * kPage);
}

TEST(MsgList, ABatchIsWhatWasPendingWhenTaken) {
    CMsgList list;
    EXPECT_TRUE(list.BatchDone()) << "nothing taken";
    ASSERT_TRUE(list.PutType(1));
    ASSERT_TRUE(list.PutType(2));
    ASSERT_TRUE(list.WaitMsg(1000));
    EXPECT_EQ(list.GetType(), 1);
    EXPECT_FALSE(list.BatchDone());
    ASSERT_TRUE(list.PutType(3)); // after the batch was taken
    ASSERT_TRUE(list.WaitMsg(0));
    EXPECT_EQ(list.GetType(), 2);
    EXPECT_TRUE(list.BatchDone()) << "3 came after the batch";
    EXPECT_TRUE(list.WaitMsg(1000)) << "the event tells of 3";
    EXPECT_EQ(list.GetType(), 3);
    EXPECT_TRUE(list.BatchDone());
    EXPECT_FALSE(list.WaitMsg(20)) << "the event is reset once everything was taken";
}

TEST(MsgList, TheCurrentMessageStaysUntilTheNextTake) {
    // A message's bytes stay where GetData points until the next take, also when producers fill
    // pages meanwhile and the page it lies in is left behind.
    CMsgList list;
    const std::string first(1000, 'f');
    ASSERT_TRUE(list.PutMsg(1, static_cast<unsigned>(first.size()), first.data()));
    ASSERT_TRUE(list.GetMsg());
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(list.PutMsg(2, 500, std::string(500, 'x').data()));
    EXPECT_EQ(std::string(static_cast<const char*>(list.GetData()), first.size()), first);
    int taken = 0;
    while (list.GetMsg())
        ++taken;
    EXPECT_EQ(taken, 1000);
}

// A clock whose second another thread moves on, and whose every field follows from that second: a time
// text put together from two seconds does not match any second.
class TickingClock final : public TraceClock {
public:
    explicit TickingClock(bool ownKey) : m_ownKey(ownKey) {}
    platform::LocalTime Now() const override { return TimeOf(m_second.load()); }
    std::uint64_t SecondKey() const override {
        return m_ownKey ? static_cast<std::uint64_t>(m_second.load()) << 1 : TraceClock::SecondKey();
    }
    static platform::LocalTime TimeOf(int k) {
        return platform::LocalTime{2000 + k, 1 + k % 12, 1 + k % 28, 0, k % 24, k % 60, (k + 30) % 60, 0};
    }
    void Tick() { ++m_second; }

private:
    std::atomic<int> m_second{0};
    bool m_ownKey;
};

TEST(TraceTime, PrefixOfEachSecondAtItsBoundaries) {
    // The cached text of a second is never given for another one: times that differ in a single field,
    // one at a time, and a clock that goes back.
    ControlledClockForParts clock;
    TraceTimeCache cache;
    const platform::LocalTime times[] = {
        {2026, 12, 9, 3, 9, 5, 7, 0},   {2026, 12, 9, 3, 9, 5, 7, 0},   {2026, 12, 9, 3, 9, 5, 8, 0},
        {2026, 12, 9, 3, 9, 6, 8, 0},   {2026, 12, 9, 3, 10, 6, 8, 0},  {2026, 12, 10, 3, 10, 6, 8, 0},
        {2026, 11, 10, 3, 10, 6, 8, 0}, {2027, 11, 10, 3, 10, 6, 8, 0}, {2026, 12, 31, 4, 23, 59, 59, 0},
        {2027, 1, 1, 5, 0, 0, 0, 0},    {2026, 12, 9, 3, 9, 5, 7, 0},   {999, 1, 2, 0, 3, 4, 5, 0},
        {12345, 1, 2, 0, 3, 4, 5, 0},   {2026, -1, 2, 0, 3, 4, 5, 0},   {2026, 12, 9, 3, 9, 5, 7, 0},
    };
    for (const platform::LocalTime& time : times) {
        const std::string expected(FormatTraceTime(time, true).text);
        SCOPED_TRACE(expected);
        clock.now = time;
        char byClock[kTracePrefixLength];
        ASSERT_EQ(cache.CopyPrefix(clock, byClock), kTracePrefixLength);
        EXPECT_EQ(std::string(byClock, sizeof byClock), expected);
        char byTime[kTracePrefixLength];
        ASSERT_EQ(cache.CopyPrefix(time, byTime), kTracePrefixLength);
        EXPECT_EQ(std::string(byTime, sizeof byTime), expected);
    }
}

TEST(TraceTime, ThreadsShareThePrefixWhileTheSecondMovesOn) {
    // Run under ThreadSanitizer too: readers copy the kept text while writers replace it.
    for (bool ownKey : {false, true}) {
        SCOPED_TRACE(ownKey ? "the clock's own second key" : "the key made from the fields");
        TickingClock clock(ownKey);
        TraceTimeCache cache;
        std::atomic<bool> done{false};
        std::atomic<int> wrong{0};
        std::vector<std::thread> readers;
        for (int t = 0; t < 4; ++t) {
            readers.emplace_back([&] {
                while (!done) {
                    char text[kTracePrefixLength];
                    cache.CopyPrefix(clock, text);
                    const int k = std::stoi(std::string(text, 4)) - 2000;
                    if (std::string(text, sizeof text) != FormatTraceTime(TickingClock::TimeOf(k), true).text)
                        ++wrong;
                }
            });
        }
        for (int second = 0; second < 300; ++second) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            clock.Tick();
        }
        done = true;
        for (auto& reader : readers)
            reader.join();
        EXPECT_EQ(wrong, 0);
    }
}

TEST(TraceTime, TheSystemClocksPrefixNeverShowsATimeBeforeThePreciseLocalTimeReadEarlier) {
    // Through three second boundaries of the system time: the prefix comes from the clock the precise local
    // time is read from (TraceGetTime's), not from a whole-second clock that lags it by a scheduler tick.
    TraceTimeCache cache;
    const std::int64_t start = platform::systemTimeTicks() / 10000000;
    int checked = 0;
    while (platform::systemTimeTicks() / 10000000 < start + 3) {
        const platform::LocalTime before = platform::localTime();
        char text[kTracePrefixLength];
        cache.CopyPrefix(SystemClock(), text);
        const std::string prefix(text, sizeof text);
        const std::string earliest = FormatTraceTime(before, true).text;
        // Date and time in fields of equal width: the texts compare as the times do.
        ASSERT_GE(prefix, earliest);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace
