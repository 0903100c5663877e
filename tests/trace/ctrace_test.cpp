// CTrace with its seams: console text captured, a controlled clock for every time it writes, files in a
// private folder. Each test has a CTrace of its own; the fixture owns the seams and installs them.
#include "ctrace.h"

#include "hex_dump.h"
#include "test_support.h"
#include "trace_time.h"
#include "traced_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

// The tests write the trace files as the print thread does, with its key.
class PrintThreadStandIn {
public:
    static int WriteLevelLog(CTrace& trace, std::uint8_t level, int id, char* text) {
        return trace.TraceFiles().WriteLevelLog(PrintThreadKey(), level, id, text);
    }
};

namespace {

namespace fs = std::filesystem;
using testing_support::TemporaryFolder;

using traced_lines::countedLines;
using traced_lines::kTimePrefix;

// The console output of a CTrace, kept for the test to read.
class CapturedConsole final : public ConsoleOutput {
public:
    void Write(const char* text) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_text += text;
    }
    std::string Text() const {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_text;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_text.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

class DiscardedConsole final : public ConsoleOutput {
public:
    void Write(const char*) override {}
};

// A clock that shows what the test set: by default Wednesday 9 December 2026, 09:05:07. Set it only while
// no print thread runs.
class ControlledClock final : public TraceClock {
public:
    platform::LocalTime Now() const override { return now; }

    platform::LocalTime now{2026, 12, 9, 3, 9, 5, 7, 0};
};

CLogMsg* noMemory() {
    return nullptr;
}

// The current folder for a scope: files that land in "the current folder" are seen there.
class InFolder {
public:
    explicit InFolder(const std::string& path) : m_previous(fs::current_path()) { fs::current_path(path); }
    ~InFolder() { fs::current_path(m_previous); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    fs::path m_previous;
};

std::set<std::string> filesIn(const std::string& path) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.insert(entry.path().filename().string());
    return names;
}

// A file's lines without their time prefix.
std::string withoutTimes(const std::string& text) {
    return std::regex_replace(text, std::regex(kTimePrefix), "");
}

std::string textOf(const std::string& path) {
    return std::regex_replace(testing_support::readFile(path), std::regex("\r\n"), "\n");
}

class Trace : public ::testing::Test {
protected:
    TemporaryFolder folder;
    // The seams outlive every CTrace of a test.
    CapturedConsole console;
    DiscardedConsole quiet;
    ControlledClock clock;
    CTrace trace;

    void SetUp() override {
        trace.SetConsoleOutput(console);
        trace.SetClock(clock);
    }
    void TearDown() override { trace.Stop(); }

    std::string base() const { return platform::joinPath(folder.path(), "TraceFile"); }
    // The queue's memory tests: leveled messages to the trace files alone, no size replacement.
    void traceBurstsToFilesOnly() {
        trace.SetConsole(false);
        trace.SetTimeStamp(false);
        trace.SetLogFile(base(), true, kRotateSize, 2000000000);
        trace.SetLevelOutput(true, true, false);
    }
    // Some 12 MB of leveled messages.
    void queueABurst() {
        for (int i = 0; i < 250000; ++i)
            LevelPrintFormatted(trace, 0, 3, "a line of a burst, number %d\n", i);
    }
    std::set<std::string> files() const { return filesIn(folder.path()); }
    // Trace files are text files: Windows ends their lines with a carriage return too.
    std::string read(const std::string& name) const { return textOf(folder.file(name)); }
    int print(const char* format, ...) {
        va_list arguments;
        va_start(arguments, format);
        int length = trace.Print(format, arguments);
        va_end(arguments);
        return length;
    }
    int levelPrint(std::uint8_t level, int id, const char* text) {
        return LevelPrintFormatted(trace, level, id, "%s", text);
    }
};

TEST_F(Trace, PlainTraceByItsSwitches) {
    struct Case {
        bool console, file, timeStamp;
        int expected;
        bool shown;
    };
    const Case cases[] = {
        {false, false, true, 0, false}, // nothing formatted
        {true, false, false, 4, true},  // "abc" + terminator
        {true, false, true, 26, true},  // 22 characters of time prefix
        {false, true, true, 26, false}, // file only and no print thread: nowhere
    };
    for (const Case& c : cases) {
        console.Clear();
        trace.SetConsole(c.console);
        trace.SetTimeStamp(c.timeStamp);
        if (c.file)
            trace.SetFile(true, folder.file("output.txt"), true);
        else
            trace.SetFile(false, "", true);
        EXPECT_EQ(print("%s", "abc"), c.expected);
        std::string expected = c.shown ? (c.timeStamp ? kTimePrefix : "") + "abc" : "";
        EXPECT_TRUE(std::regex_match(console.Text(), std::regex(expected))) << console.Text();
    }
}

TEST_F(Trace, LeveledTraceByLevelAndSwitches) {
    struct Case {
        bool levelTrace;
        std::uint8_t threshold, level;
        bool accepted;
    };
    const Case cases[] = {
        {true, 0, 0, true},      {true, 0, 1, false},    {true, 5, 5, true}, {true, 255, 255, true},
        {true, 254, 255, false}, {false, 255, 0, false}, // neither leveled trace nor a print thread
    };
    trace.SetTimeStamp(false);
    for (const Case& c : cases) {
        trace.Queue().Clear();
        trace.SetLevelOutput(c.levelTrace, true, false);
        trace.SetLevel(c.threshold);
        EXPECT_EQ(levelPrint(c.level, 7, "text"), c.accepted ? 5 : 0);
        EXPECT_EQ(trace.Queue().GetMsg(), c.accepted);
    }
}

TEST_F(Trace, LeveledRecordLayout) {
    trace.SetTimeStamp(false);
    trace.SetLevelOutput(true, true, false);
    trace.SetLevel(9);
    EXPECT_EQ(levelPrint(9, -2, "hi"), 3);
    ASSERT_TRUE(trace.Queue().GetMsg());
    EXPECT_EQ(trace.Queue().GetType(), TRACE_MSG_LEVEL);
    ASSERT_EQ(trace.Queue().GetLength(), 8u);
    const auto* record = static_cast<const unsigned char*>(trace.Queue().GetData());
    EXPECT_EQ(std::vector<unsigned char>(record, record + 8),
              (std::vector<unsigned char>{9, 0xFE, 0xFF, 0xFF, 0xFF, 'h', 'i', 0}));
}

TEST_F(Trace, TextsAreCutToTheirBuffers) {
    trace.SetTimeStamp(true);
    std::string longText(20000, 'x');
    EXPECT_EQ(print("%s", longText.c_str()), 10241) << "10,240 characters, prefix included";
    trace.SetLevelOutput(true, true, false);
    EXPECT_EQ(levelPrint(0, 1, longText.c_str()), 10235) << "the text and its terminator fill the record";
    ASSERT_TRUE(trace.Queue().GetMsg());
    EXPECT_EQ(trace.Queue().GetLength(), 10240u);
}

// Widths and precisions that ended a Windows host inside the C runtime's formatter (a stack overflow): the
// text is cut at the buffer like any other.
TEST_F(Trace, HugeFieldsAreCutToTheirBuffers) {
    trace.SetTimeStamp(false);
    trace.SetLevelOutput(true, true, false);
    struct Case {
        const char* format;
        int first, second;
        char fill;
    };
    const Case cases[] = {{"%1000000000d", 5, 0, ' '},
                          {"%.10000000d", 5, 0, '0'},
                          {"%*d", 10000000, 5, ' '},
                          {"%-*d", 10000000, 5, ' '},
                          {"%.*d", 10000000, 5, '0'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        console.Clear();
        EXPECT_EQ(print(c.format, c.first, c.second), 10241);
        const std::string text = console.Text();
        EXPECT_EQ(text.size(), 10240u);
        EXPECT_EQ(text.find_first_not_of(c.fill, c.format[1] == '-' ? 1 : 0), std::string::npos);
        trace.Queue().Clear();
        EXPECT_EQ(LevelPrintFormatted(trace, 0, 1, c.format, c.first, c.second), 10235);
        ASSERT_TRUE(trace.Queue().GetMsg());
        EXPECT_EQ(trace.Queue().GetLength(), 10240u);
    }
}

TEST_F(Trace, HexDumpsThroughBothTraces) {
    const unsigned char bytes[] = {'h', 'i'};
    trace.SetTimeStamp(false);
    EXPECT_EQ(trace.BinData(bytes, 2), 2);
    EXPECT_EQ(console.Text(), "BinData: \n\n00000000: 68 69 " + std::string(42, ' ') + "   hi\n\n");
    EXPECT_EQ(trace.BinData(nullptr, 2), 0);
    trace.SetLevelOutput(true, true, false);
    for (int length : {0, -1}) {
        EXPECT_EQ(trace.LevelBinData(0, 1, bytes, length), 0);
    }
    EXPECT_EQ(trace.LevelBinData(0, 1, nullptr, 2), 0);
    EXPECT_FALSE(trace.Queue().GetMsg()) << "nothing queued for no data";
    EXPECT_EQ(trace.LevelBinData(0, 1, bytes, 2), 2);
    EXPECT_TRUE(trace.Queue().GetMsg());
}

TEST_F(Trace, ALargeHexDumpKeepsTheStartOfTheWholeDump) {
    std::vector<unsigned char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 13 + i / 251);
    const int length = static_cast<int>(block.size());
    std::string whole;
    TraceHexDump(whole, block.data(), length);
    const std::string text = "BinData: \n" + whole;
    EXPECT_EQ(trace.BinData(block.data(), length), length);
    std::string shown = console.Text();
    ASSERT_TRUE(std::regex_search(shown, std::regex("^" + kTimePrefix))) << shown.substr(0, 40);
    EXPECT_EQ(shown.substr(22), text.substr(0, 10240 - 22)) << "10,240 characters, prefix included";
    trace.SetLevelOutput(true, true, false);
    EXPECT_EQ(trace.LevelBinData(0, 1, block.data(), length), length);
    ASSERT_TRUE(trace.Queue().GetMsg());
    const char* leveled = static_cast<const char*>(trace.Queue().GetData()) + kLevelRecordHeader;
    EXPECT_EQ(std::string(leveled + 22), text.substr(0, 10234 - 22))
        << "10,234 characters and the terminator";
}

TEST_F(Trace, EveryTimeStampComesFromTheInstalledClock) {
    // The message prefix (caller's thread), the output file's line stamps and the trace files' line stamps
    // and names: all from one clock.
    trace.SetConsole(true);
    trace.SetFile(true, folder.file("output.txt"), true);
    trace.SetLogFile(base(), true, kRotateHour, 0);
    trace.SetLevelOutput(true, true, false);
    clock.now = platform::LocalTime{1999, 1, 2, 6, 3, 4, 5, 0};
    trace.UpdatePeriod();
    print("plain\n");
    EXPECT_EQ(console.Text(), "1999/01/02 03:04:05 - plain\n") << "not running: shown at once";
    console.Clear();
    ASSERT_TRUE(trace.Start());
    print("queued\n");
    levelPrint(0, 1, "leveled\n");
    trace.Stop();
    EXPECT_NE(console.Text().find("1999/01/02 03:04:05 - queued\n"), std::string::npos) << console.Text();
    EXPECT_EQ(read("output.txt"), "1999/01/02 03:04:05 - queued\n");
    EXPECT_EQ(read("TraceFile00000001_199901023 -04-05.log"), "1999/01/02 03:04:05 - leveled\n");
}

TEST_F(Trace, StartAnnouncesItselfAndStopHandlesEverythingQueued) {
    EXPECT_TRUE(trace.Stop()) << "no thread: nothing printed";
    EXPECT_EQ(console.Text(), "");
    trace.SetTimeStamp(false);
    ASSERT_TRUE(trace.Start());
    EXPECT_TRUE(trace.IsRunning());
    EXPECT_EQ(console.Text(), "PrintThread Begin....\n") << "announced before Start returned";
    EXPECT_TRUE(trace.Start()) << "running already";
    for (int i = 0; i < 500; ++i)
        print("line %d\n", i);
    EXPECT_TRUE(trace.Stop());
    std::string expected = "PrintThread Begin....\n";
    for (int i = 0; i < 500; ++i)
        expected += "line " + std::to_string(i) + "\n";
    // The stop messages are printed at once by the stopping thread, so they may meet the queue's tail
    // anywhere, but in their order; the queued lines come in order and all before the end message.
    std::string text = console.Text();
    const std::size_t stopping = text.find("Stopping Print Thread....\n");
    const std::size_t waiting = text.find("Waiting....\n");
    ASSERT_NE(stopping, std::string::npos) << text;
    ASSERT_NE(waiting, std::string::npos) << text;
    ASSERT_LT(stopping, waiting) << text;
    EXPECT_EQ(text.find("Stopping Print Thread....\n", stopping + 1), std::string::npos) << "once";
    EXPECT_EQ(text.find("Waiting....\n", waiting + 1), std::string::npos) << "once";
    std::string lines = text;
    lines.erase(waiting, std::strlen("Waiting....\n"));
    lines.erase(stopping, std::strlen("Stopping Print Thread....\n"));
    EXPECT_EQ(lines, expected + "Print Thread is end....\n");
}

TEST_F(Trace, TheThreadsOwnMessagesNeverReachTheOutputFile) {
    trace.SetFile(true, folder.file("output.txt"), true);
    ASSERT_TRUE(trace.Start());
    print("queued\n");
    trace.Stop();
    EXPECT_TRUE(std::regex_match(read("output.txt"), std::regex(kTimePrefix + "queued\n")))
        << read("output.txt");
    std::string text = console.Text();
    for (const char* message : {"PrintThread Begin....\n", "Stopping Print Thread....\n", "Waiting....\n",
                                "Print Thread is end....\n"})
        EXPECT_NE(text.find(message), std::string::npos) << message << " on the console: " << text;
}

TEST_F(Trace, LeveledMessagesWaitForTheThread) {
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    trace.SetLevelOutput(true, true, false);
    EXPECT_EQ(levelPrint(0, 42, "waiting\n"), 31);
    EXPECT_TRUE(files().empty()) << "nothing written while no thread runs";
    ASSERT_TRUE(trace.Start());
    trace.Stop();
    ASSERT_EQ(files().size(), 1u);
    std::string name = *files().begin();
    EXPECT_TRUE(std::regex_match(read(name), std::regex(kTimePrefix + "waiting\n"))) << read(name);
}

TEST_F(Trace, StopAndStartKeepLeveledMessagesQueuedAfterTheStop) {
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    trace.SetLevelOutput(true, true, false);
    trace.SetTimeStamp(false);
    ASSERT_TRUE(trace.Start());
    levelPrint(0, 1, "before stop");
    trace.Stop();
    levelPrint(0, 1, "parked");
    EXPECT_EQ(read(*files().begin()).find("parked"), std::string::npos);
    ASSERT_TRUE(trace.Start());
    trace.Stop();
    std::string all;
    for (const auto& name : files())
        all += read(name);
    EXPECT_NE(all.find(" - parked\n"), std::string::npos) << all;
}

TEST_F(Trace, OutputFileLinesHaveTheTimeOfWritingAndNoTrailingNewline) {
    trace.SetConsole(false);
    trace.SetFile(true, folder.file("output.txt"), true);
    ASSERT_TRUE(trace.GetFile());
    ASSERT_TRUE(trace.Start());
    print("first line\n");
    print("no newline");
    trace.SetTimeStamp(false);
    print("unstamped\n");
    trace.Stop();
    std::string text = read("output.txt");
    EXPECT_TRUE(std::regex_match(text, std::regex(kTimePrefix + "first line\n" + kTimePrefix +
                                                  "no newline\n" + kTimePrefix + "unstamped\n")))
        << text;

    CTrace other;
    other.SetFile(true, folder.file("missing") + "/output.txt", true);
    EXPECT_FALSE(other.GetFile()) << "an output file that cannot be opened turns file output off";
}

TEST_F(Trace, TimeStampSwitchBetweenFormattingAndHandlingCutsNothing) {
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    trace.SetLevelOutput(true, true, false);
    trace.SetTimeStamp(false);
    levelPrint(0, 5, "x");
    trace.SetTimeStamp(true);
    levelPrint(0, 5, "stamped");
    trace.SetTimeStamp(false);
    ASSERT_TRUE(trace.Start());
    trace.Stop();
    std::string text = read(*files().begin());
    EXPECT_TRUE(std::regex_match(text, std::regex(kTimePrefix + "x\n" + kTimePrefix + "stamped\n"))) << text;
}

TEST_F(Trace, FirstFileCarriesTheZeroStampThenTheHourChangeRenamesEveryFile) {
    // No SetLogFile: the base name is empty and the period stamp zero.
    TemporaryFolder here;
    fs::path previous = fs::current_path();
    fs::current_path(here.path());
    trace.SetTimeStamp(false);
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 42, std::string("one\n").data()), 0);
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, -1, std::string("minus one").data()), 0);
    fs::current_path(previous);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(here.path()))
        names.insert(entry.path().filename().string());
    EXPECT_TRUE(names.count("0000002a_000000000 -05-07.log")) << "zero stamp of the first file";
    EXPECT_TRUE(names.count("ffffffff_202612099 -05-07.log")) << "the period changed: stamp refreshed";
    std::string first = textOf(platform::joinPath(here.path(), "0000002a_000000000 -05-07.log"));
    EXPECT_TRUE(std::regex_match(first, std::regex(kTimePrefix + "one\n" + kTimePrefix + "Log file close\n")))
        << first;
}

TEST_F(Trace, HourChangeClosesAndRenamesEveryOpenFile) {
    trace.SetLogFile(base(), true, kRotateHour, 0);
    PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("a").data());
    PrintThreadStandIn::WriteLevelLog(trace, 0, 2, std::string("b").data());
    clock.now.hour = 10;
    clock.now.minute = 0;
    clock.now.second = 1;
    PrintThreadStandIn::WriteLevelLog(trace, 0, 2, std::string("c").data());
    std::set<std::string> expected{
        "TraceFile00000001_202612099 -05-07.log", "TraceFile00000002_202612099 -05-07.log",
        "TraceFile00000001_2026120910-00-01.log", "TraceFile00000002_2026120910-00-01.log"};
    EXPECT_EQ(files(), expected);
    EXPECT_NE(read("TraceFile00000001_202612099 -05-07.log").find(" - Log file close\n"), std::string::npos);
    EXPECT_NE(read("TraceFile00000002_2026120910-00-01.log").find(" - c\n"), std::string::npos);
    EXPECT_EQ(read("TraceFile00000001_2026120910-00-01.log"), "")
        << "continued under the new name, nothing yet";
}

TEST_F(Trace, SizeLimitReplacesTheFileWithPatternB) {
    trace.SetLogFile(base(), true, kRotateSize, 100);
    std::string line(60, 'y');
    PrintThreadStandIn::WriteLevelLog(trace, 0, 42, line.data()); // ~82 bytes: within the limit
    PrintThreadStandIn::WriteLevelLog(trace, 0, 42,
                                      line.data()); // still written here: the test comes before the write
    clock.now.second = 9;
    PrintThreadStandIn::WriteLevelLog(trace, 0, 42, line.data()); // the file now holds more than 100 bytes
    std::set<std::string> expected{"TraceFile0000002a_202612099 -05-07.log",
                                   "TraceFile_0000002a_20261209090509.log"};
    EXPECT_EQ(files(), expected);
    std::string old = read("TraceFile0000002a_202612099 -05-07.log");
    EXPECT_EQ(withoutTimes(old), line + "\n" + line + "\nLog file close\n") << old;
    std::string replacement = read("TraceFile_0000002a_20261209090509.log");
    EXPECT_TRUE(std::regex_match(replacement, std::regex(kTimePrefix + line + "\n"))) << replacement;
}

TEST_F(Trace, SizeLimitReplacesAContinuedFileOfMoreThanTwoGigabytes) {
    // A trace file that already holds 3 GiB when a message continues it: more than a long counts on
    // Windows and more than an int counts anywhere, and still over the limit (a sparse file here).
    const std::string name = "TraceFile0000002a_202612099 -05-07.log";
    constexpr std::uintmax_t kBig = 3ull << 30;
    testing_support::writeFile(folder.file(name), "");
    fs::resize_file(folder.file(name), kBig);
    trace.SetLogFile(base(), false, kRotateSize, 2000000000);
    ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 42, std::string("continued").data()), 0);
    clock.now.second = 9;
    ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 42, std::string("next").data()), 0);
    EXPECT_EQ(files(), (std::set<std::string>{name, "TraceFile_0000002a_20261209090509.log"}));
    std::string replacement = read("TraceFile_0000002a_20261209090509.log");
    EXPECT_TRUE(std::regex_match(replacement, std::regex(kTimePrefix + "next\n"))) << replacement;
    std::ifstream old(folder.file(name), std::ios::binary);
    old.seekg(static_cast<std::streamoff>(kBig));
    std::string tail((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
    tail = std::regex_replace(tail, std::regex("\r\n"), "\n");
    EXPECT_EQ(withoutTimes(tail), "continued\nLog file close\n") << "continued at its end, then closed";
    old.close();
    fs::remove(folder.file(name));
}

TEST_F(Trace, SizeLimitCountsTheBytesReallyWritten) {
    // Windows writes each line feed of a text as two bytes: a multi-line text (every hex dump) counts them.
    struct Case {
        const char* prefix;
        std::string text;
    };
    std::string dump;
    const unsigned char bytes[40] = {1, 2, 3};
    TraceHexDump(dump, bytes, sizeof bytes);
    const Case cases[] = {{"Single", std::string(150, 's')}, {"Multi", "BinData: \n" + dump + "end"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        CTrace other;
        other.SetClock(clock);
        other.SetTimeStamp(false);
        const std::string prefix = platform::joinPath(folder.path(), c.prefix);
        const std::string first = std::string(c.prefix) + "0000002a_202612099 -05-07.log";
        auto write = [&](const std::string& text) {
            return PrintThreadStandIn::WriteLevelLog(other, 0, 42, std::string(text).data());
        };
        other.SetLogFile(prefix, true, kRotateSize, 1000000);
        ASSERT_EQ(write(c.text), 0);
        // A file of exactly the limit is kept.
        other.SetLogFile(prefix, true, kRotateSize, static_cast<int>(fs::file_size(folder.file(first))));
        ASSERT_EQ(write(c.text), 0);
        EXPECT_EQ(files().count(std::string(c.prefix) + "_0000002a_20261209090507.log"), 0u)
            << "not replaced";
        // One byte over the limit: replaced.
        other.SetLogFile(prefix, true, kRotateSize, static_cast<int>(fs::file_size(folder.file(first))) - 1);
        clock.now.second = 9;
        ASSERT_EQ(write("next"), 0);
        std::string old = read(first);
        EXPECT_EQ(withoutTimes(old), c.text + "\n" + c.text + "\nLog file close\n");
        std::string replacement = read(std::string(c.prefix) + "_0000002a_20261209090509.log");
        EXPECT_TRUE(std::regex_match(replacement, std::regex(kTimePrefix + "next\n"))) << replacement;
        clock.now.second = 7;
    }
}

TEST_F(Trace, ReplacementsWithinOneSecondLoseNothing) {
    // Every replacement within a second gets the same size-limit name: the file of that name, once
    // started, grows on within its second instead of being emptied or closed and reopened line by line.
    struct Case {
        bool newFile;
        int maxSize;
    };
    for (const Case& c : {Case{true, 0}, Case{true, -1}, Case{false, 0}, Case{false, -1}}) {
        SCOPED_TRACE(testing::Message() << "newFile " << c.newFile << ", limit " << c.maxSize);
        TemporaryFolder here;
        CTrace other;
        other.SetClock(clock);
        other.SetTimeStamp(false);
        other.SetLogFile(platform::joinPath(here.path(), "P"), c.newFile, kRotateSize, c.maxSize);
        std::string later;
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 3,
                                                        std::string("message " + std::to_string(i)).data()),
                      0);
            if (i > 0)
                later += "message " + std::to_string(i) + "\n";
        }
        auto text = [&](const std::string& name) {
            return withoutTimes(textOf(platform::joinPath(here.path(), name)));
        };
        EXPECT_EQ(filesIn(here.path()),
                  (std::set<std::string>{"P00000003_202612099 -05-07.log", "P_00000003_20261209090507.log"}));
        EXPECT_EQ(text("P00000003_202612099 -05-07.log"), "message 0\nLog file close\n");
        EXPECT_EQ(text("P_00000003_20261209090507.log"), later);
        // The next second replaces it.
        clock.now.second = 8;
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 3, std::string("next second").data()), 0);
        EXPECT_EQ(text("P_00000003_20261209090507.log"), later + "Log file close\n");
        EXPECT_EQ(text("P_00000003_20261209090508.log"), "next second\n");
        clock.now.second = 7;
    }
}

TEST_F(Trace, NewFileSwitchEmptiesOnlyFilesOfEarlierRuns) {
    for (bool newFile : {true, false}) {
        SCOPED_TRACE(newFile);
        TemporaryFolder here;
        const std::string name = platform::joinPath(here.path(), "T00000004_202612099 -05-07.log");
        testing_support::writeFile(name, "left by an earlier run\n");
        CTrace other;
        other.SetClock(clock);
        other.SetLogFile(platform::joinPath(here.path(), "T"), newFile, kRotateHour, 0);
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 4, std::string("one").data()), 0);
        // A stop closes the files; the same id in the same second opens the same name again.
        other.CloseLevelLogs();
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 4, std::string("two").data()), 0);
        EXPECT_EQ(withoutTimes(textOf(name)),
                  std::string(newFile ? "" : "left by an earlier run\n") + "one\ntwo\n");
    }
}

TEST_F(Trace, ANameThatComesBackAnHourLaterIsContinued) {
    // By size the stamp is not refreshed while no file is replaced: a file opened for the id an hour later
    // at the same minute and second gets the name of one this object wrote already, which is continued.
    TemporaryFolder here;
    const std::string name = platform::joinPath(here.path(), "T00000004_202612099 -05-07.log");
    CTrace other;
    other.SetClock(clock);
    other.SetTimeStamp(false);
    other.SetLogFile(platform::joinPath(here.path(), "T"), true, kRotateSize, 1000000);
    ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 4, std::string("nine o'clock").data()), 0);
    other.CloseLevelLogs(); // a stop
    for (int hour : {10, 11}) {
        clock.now.minute = 30;
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 4, std::string("half past").data()), 0);
        other.CloseLevelLogs();
        clock.now.hour = hour;
        clock.now.minute = 5;
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, 4, std::string("o'clock").data()), 0);
        other.CloseLevelLogs();
    }
    EXPECT_EQ(withoutTimes(textOf(name)), "nine o'clock\no'clock\no'clock\n");
    EXPECT_EQ(withoutTimes(textOf(platform::joinPath(here.path(), "T00000004_202612099 -30-07.log"))),
              "half past\nhalf past\n");
}

TEST_F(Trace, TheNamesOfClosedFilesTakeNoMoreMemoryRoundAfterRound) {
    // Many ids, stopped and started again and again (each round in a second of its own): what the object
    // keeps of the names it opened, so as to continue rather than empty them, stays as it was after the
    // first round.
    TemporaryFolder here;
    CTrace other;
    other.SetClock(clock);
    other.SetTimeStamp(false);
    other.SetLogFile(platform::joinPath(here.path(), "N"), true, kRotateSize, 1000000);
    constexpr int kIds = 50;
    constexpr int kRounds = 30;
    std::size_t afterFirst = 0;
    for (int round = 0; round < kRounds; ++round) {
        clock.now.minute = round / 60;
        clock.now.second = round % 60;
        for (int id = 0; id < kIds; ++id)
            ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(other, 0, id, std::string("line").data()), 0);
        other.CloseLevelLogs(); // a stop
        if (round == 0)
            afterFirst = other.NameRecordsKept();
    }
    EXPECT_EQ(filesIn(here.path()).size(), static_cast<std::size_t>(kIds * kRounds));
    EXPECT_GT(afterFirst, 0u);
    EXPECT_EQ(other.NameRecordsKept(), afterFirst);
}

TEST_F(Trace, AnEmptyFileIsNeverReplaced) {
    trace.SetTimeStamp(false);
    trace.SetLogFile(base(), true, kRotateHour, 0);
    PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("a").data());
    clock.now.hour = 10;
    PrintThreadStandIn::WriteLevelLog(trace, 0, 2,
                                      std::string("b").data()); // id 1 continues in a new, empty file
    trace.SetLogFile(base(), true, kRotateSize, -1); // every file that holds anything is over the limit
    PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("c").data());
    EXPECT_EQ(withoutTimes(read("TraceFile00000001_2026120910-05-07.log")), "c\n")
        << "not replaced while empty";
    PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("d").data());
    EXPECT_EQ(withoutTimes(read("TraceFile00000001_2026120910-05-07.log")), "c\nLog file close\n");
    EXPECT_EQ(withoutTimes(read("TraceFile_00000001_20261209100507.log")), "d\n");
}

TEST_F(Trace, SizeReplacementsThroughThePrintThreadLoseNothing) {
    // The real clock: many replacements fall within one second.
    for (bool newFile : {true, false}) {
        SCOPED_TRACE(newFile);
        TemporaryFolder here;
        CTrace other;
        other.SetConsoleOutput(quiet);
        other.SetTimeStamp(false);
        other.SetLogFile(platform::joinPath(here.path(), "R"), newFile, kRotateSize, 4000);
        other.SetLevelOutput(true, true, false);
        ASSERT_TRUE(other.Start());
        constexpr int kMessages = 8000;
        for (int i = 0; i < kMessages; ++i)
            LevelPrintFormatted(other, 0, 7, "message %d\n", i);
        other.Stop();
        // Period names sort before size-limit names, and size-limit names sort by time: the order of
        // writing.
        std::set<std::string> names = filesIn(here.path());
        ASSERT_GE(names.size(), 2u) << "replaced at least once";
        int next = 0;
        std::size_t index = 0;
        for (const std::string& name : names) {
            std::istringstream lines(withoutTimes(textOf(platform::joinPath(here.path(), name))));
            std::string line;
            bool closed = false;
            while (std::getline(lines, line)) {
                EXPECT_FALSE(closed) << name << ": a line after the closing line";
                if (line == "Log file close")
                    closed = true;
                else if (line != "message " + std::to_string(next++))
                    ADD_FAILURE() << name << ": " << line << " where message " << next - 1 << " belongs";
            }
            EXPECT_EQ(closed, ++index < names.size()) << name << ": only the last file is not closed";
        }
        EXPECT_EQ(next, kMessages);
    }
}

TEST_F(Trace, TraceFilesWithoutAKnownFolderAreNotMade) {
    TemporaryFolder here;
    InFolder inHere(here.path());
    trace.SetTimeStamp(false);
    trace.SetLogFile("Prefix", true, kRotateHour, 0, false);
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("lost").data()), -1);
    EXPECT_EQ(console.Text(),
              "!Trace Error, create new Log file: Prefix00000001_202612099 -05-07.log fail\n");
    EXPECT_TRUE(filesIn(here.path()).empty()) << "nothing in the current folder";
}

TEST_F(Trace, SwitchingTheOutputFileOnWhileThePrintThreadRuns) {
    // Run under ThreadSanitizer too. The print thread handles messages while another thread switches file
    // output on: no default file may appear in the current folder, and every line traced after the switch
    // returned is in the named file, in order. A switch that fails first (a missing folder) leaves file
    // output off and writes nowhere.
    TemporaryFolder here;
    InFolder inHere(here.path());
    std::set<std::string> expected;
    constexpr int kRounds = 30;
    constexpr int kLines = 800;
    for (bool failFirst : {false, true}) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(testing::Message() << "failing first " << failFirst << ", round " << round);
            CTrace other;
            other.SetConsoleOutput(quiet);
            other.SetTimeStamp(false);
            ASSERT_TRUE(other.Start());
            std::atomic<int> started{-1};
            std::atomic<bool> switched{false};
            std::thread producer([&] {
                for (int i = 0; i < kLines; ++i) {
                    // The last lines wait for the switch, so that some surely come after it.
                    while (i == kLines - 100 && !switched)
                        std::this_thread::yield();
                    started = i;
                    PrintFormatted(other, "line %d\n", i);
                }
            });
            while (started < round * 17 % 300)
                std::this_thread::yield();
            if (failFirst) {
                other.SetFile(true, platform::joinPath(here.file("missing"), "output.txt"), true);
                EXPECT_FALSE(other.GetFile());
            }
            const std::string name =
                "output-" + std::to_string(failFirst) + "-" + std::to_string(round) + ".txt";
            other.SetFile(true, here.file(name), true);
            const int before = started; // the lines after this one were traced after the switch
            switched = true;
            EXPECT_TRUE(other.GetFile());
            producer.join();
            other.Stop();
            expected.insert(name);
            ASSERT_EQ(filesIn(here.path()), expected) << "no other file";
            std::istringstream lines(textOf(here.file(name)));
            std::string line;
            int last = -1;
            std::regex pattern(kTimePrefix + R"(line (\d+))");
            while (std::getline(lines, line)) {
                std::smatch match;
                ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
                const int index = std::stoi(match[1]);
                // In order; lines from before the switch may be missing, none after it.
                ASSERT_TRUE(index > last && (index == last + 1 || index <= before + 1))
                    << index << " after " << last << ", switched after " << before;
                last = index;
            }
            EXPECT_EQ(last, kLines - 1);
        }
    }
}

TEST_F(Trace, ErrorsAreReportedAsTraceText) {
    trace.SetTimeStamp(false);
    trace.SetLogFile(platform::joinPath(folder.file("no-such-folder"), "T"), true, kRotateHour, 0);
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("lost").data()), -1);
    std::string name = platform::joinPath(folder.file("no-such-folder"), "T00000001_202612099 -05-07.log");
    EXPECT_EQ(console.Text(), "!Trace Error, create new Log file: " + name + " fail\n");
    EXPECT_EQ(trace.OpenTraceFiles(), 0u);

    console.Clear();
    trace.SetLogMsgFactory(noMemory);
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 2, std::string("lost").data()), -1);
    EXPECT_EQ(console.Text(), "!Trace Error, malloc new Log obj fail\n");
}

TEST_F(Trace, ReopeningFailsAtTheNextPeriod) {
    trace.SetTimeStamp(false);
    trace.SetLogFile(base(), true, kRotateHour, 0);
    ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("a").data()), 0);
    // The next period's name lies in a folder that does not exist.
    trace.SetLogFile(platform::joinPath(folder.file("gone"), "T"), true, kRotateHour, 0);
    clock.now.hour = 10;
    EXPECT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("b").data()), -1);
    std::string name = platform::joinPath(folder.file("gone"), "T00000001_2026120910-05-07.log");
    EXPECT_EQ(console.Text(), "!Trace Error, create new Log file: " + name + " fail\n");
    EXPECT_EQ(trace.OpenTraceFiles(), 0u) << "the entry is removed";
    EXPECT_NE(read("TraceFile00000001_202612099 -05-07.log").find(" - Log file close\n"), std::string::npos);
}

TEST_F(Trace, LoweringTheThresholdDropsQueuedMessages) {
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    trace.SetLevelOutput(true, true, false);
    trace.SetLevel(5);
    levelPrint(5, 1, "dropped");
    levelPrint(0, 1, "kept");
    trace.SetLevel(0);
    ASSERT_TRUE(trace.Start());
    trace.Stop();
    std::string text = read(*files().begin());
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_NE(text.find("kept"), std::string::npos);
}

TEST_F(Trace, LeveledConsoleOutputNeedsBothSwitches) {
    trace.SetTimeStamp(false);
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    struct Case {
        bool console, levelConsole, shown;
    };
    for (const Case& c : {Case{true, true, true}, Case{true, false, false}, Case{false, true, false}}) {
        trace.SetConsole(c.console);
        trace.SetLevelOutput(true, true, c.levelConsole);
        ASSERT_TRUE(trace.Start());
        console.Clear();
        levelPrint(0, 9, "leveled\n");
        trace.Stop();
        EXPECT_EQ(console.Text().find("leveled\n") != std::string::npos, c.shown);
    }
}

TEST_F(Trace, TimePrefixesFollowTheClockAcrossSecondBoundaries) {
    // The prefix of messages is made once a second and shared, and so is the stamp of a file's lines:
    // neither may show a second that is not the clock's, at times that differ from the time before in a
    // single field, and when the clock goes back.
    trace.SetConsole(true);
    trace.SetLevelOutput(true, true, false);
    trace.SetLogFile(base(), true, kRotateSize, 1000000);
    const platform::LocalTime times[] = {
        {2026, 12, 9, 3, 9, 5, 7, 0},   {2026, 12, 9, 3, 9, 5, 7, 0},   {2026, 12, 9, 3, 9, 5, 8, 0},
        {2026, 12, 9, 3, 9, 6, 8, 0},   {2026, 12, 9, 3, 10, 6, 8, 0},  {2026, 12, 10, 4, 10, 6, 8, 0},
        {2026, 11, 10, 2, 10, 6, 8, 0}, {2027, 11, 10, 3, 10, 6, 8, 0}, {2026, 12, 31, 4, 23, 59, 59, 0},
        {2027, 1, 1, 5, 0, 0, 0, 0},    {2026, 12, 9, 3, 9, 5, 7, 0},
    };
    std::string expectedLines;
    for (const platform::LocalTime& time : times) {
        const std::string prefix = FormatTraceTime(time, true).text;
        SCOPED_TRACE(prefix);
        clock.now = time;
        console.Clear();
        print("plain\n");
        EXPECT_EQ(console.Text(), prefix + "plain\n") << "no print thread: shown at once";
        levelPrint(0, 1, "leveled\n");
        ASSERT_TRUE(trace.Queue().GetMsg());
        EXPECT_EQ(std::string(static_cast<const char*>(trace.Queue().GetData()) + kLevelRecordHeader),
                  prefix + "leveled\n");
        ASSERT_EQ(PrintThreadStandIn::WriteLevelLog(trace, 0, 1, std::string("line").data()), 0);
        expectedLines += prefix + "line\n";
    }
    ASSERT_EQ(files().size(), 1u);
    EXPECT_EQ(read(*files().begin()), expectedLines);
}

TEST_F(Trace, LinesReachTheFilesBeforeThePrintThreadWaits) {
    // The print thread flushes its files once a batch: every line is with the system once the thread
    // has handled it, without a stop.
    trace.SetConsole(false);
    trace.SetTimeStamp(false);
    trace.SetFile(true, folder.file("output.txt"), true);
    trace.SetLogFile(base(), true, kRotateSize, 100000000);
    trace.SetLevelOutput(true, true, false);
    ASSERT_TRUE(trace.Start());
    constexpr int kLines = 300;
    std::string plain, leveled;
    for (int i = 0; i < kLines; ++i) {
        PrintFormatted(trace, "plain %d\n", i);
        LevelPrintFormatted(trace, 0, 5, "leveled %d\n", i);
        plain += "plain " + std::to_string(i) + "\n";
        leveled += "leveled " + std::to_string(i) + "\n";
    }
    auto traceFile = [this] {
        for (const std::string& name : files())
            if (name.rfind("TraceFile", 0) == 0)
                return read(name);
        return std::string();
    };
    EXPECT_TRUE(testing_support::eventually([&] {
        return withoutTimes(read("output.txt")) == plain && withoutTimes(traceFile()) == leveled;
    })) << withoutTimes(read("output.txt")).size()
        << " of " << plain.size() << " plain characters, " << withoutTimes(traceFile()).size() << " of "
        << leveled.size() << " leveled";
    trace.Stop();
}

// A clock one second later at every call, from any thread: every trace file gets a name of its own.
class CountingClock final : public TraceClock {
public:
    platform::LocalTime Now() const override {
        const int k = m_calls++;
        return platform::LocalTime{2026, 12, 9, 3, k / 3600 % 24, k / 60 % 60, k % 60, 0};
    }

private:
    mutable std::atomic<int> m_calls{0};
};

// The lines of a file as written, each with its line end.
std::vector<std::string> rawLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(testing_support::readFile(path));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line + "\n");
    return lines;
}

TEST_F(Trace, ManyProducersThroughSizeReplacementsKeepOrderAndLimits) {
    // Several threads trace to two ids whose files are replaced by size again and again while the print
    // thread writes them in batches: every line once, in each thread's order, and each file replaced at
    // the first message that found it over the limit, counting every line's bytes.
    CountingClock counting;
    CTrace other;
    other.SetClock(counting);
    other.SetConsoleOutput(quiet);
    other.SetTimeStamp(false);
    constexpr int kLimit = 5000;
    other.SetLogFile(base(), true, kRotateSize, kLimit);
    other.SetLevelOutput(true, true, false);
    ASSERT_TRUE(other.Start());
    constexpr int kThreads = 4;
    constexpr int kEach = 1000;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t)
        producers.emplace_back([&other, t] {
            for (int i = 0; i < kEach; ++i)
                LevelPrintFormatted(other, 0, 1 + i % 2, "t%d %d\n", t, i);
        });
    for (auto& producer : producers)
        producer.join();
    other.Stop();
    const std::regex pattern(kTimePrefix + R"(t(\d) (\d+)\r?\n)");
    int total = 0;
    for (const char* id : {"00000001", "00000002"}) {
        SCOPED_TRACE(id);
        // Pattern A names sort before pattern B names, and pattern B names by time: the order of writing.
        std::vector<std::string> names;
        for (const std::string& name : files())
            if (name.find(id) != std::string::npos)
                names.push_back(name);
        ASSERT_GE(names.size(), 3u) << "replaced more than once";
        const int first = id[7] == '1' ? 0 : 1; // id 1 gets the even lines, id 2 the odd ones
        std::vector<int> next(kThreads, first);
        for (std::size_t f = 0; f < names.size(); ++f) {
            std::vector<std::string> lines = rawLines(folder.file(names[f]));
            const bool last = f + 1 == names.size();
            if (!last) {
                ASSERT_FALSE(lines.empty());
                EXPECT_EQ(withoutTimes(lines.back()).substr(0, 14), "Log file close") << names[f];
                lines.pop_back();
                std::size_t before = 0;
                for (std::size_t l = 0; l + 1 < lines.size(); ++l)
                    before += lines[l].size();
                EXPECT_LE(before, static_cast<std::size_t>(kLimit)) << names[f] << ": replaced too late";
                EXPECT_GT(before + lines.back().size(), static_cast<std::size_t>(kLimit))
                    << names[f] << ": replaced too early";
            }
            for (const std::string& line : lines) {
                std::smatch match;
                ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
                const auto t = static_cast<std::size_t>(std::stoi(match[1]));
                const int i = std::stoi(match[2]);
                EXPECT_EQ(i, next[t]) << "thread " << t << " out of order in " << names[f];
                next[t] = i + 2;
                ++total;
            }
        }
    }
    EXPECT_EQ(total, kThreads * kEach);
}

TEST_F(Trace, TheQueueGivesItsMemoryBackOnceDrained) {
    // Leveled messages wait in the queue while no print thread runs: a queue of some 12 MB. Once the
    // thread has written them, the queue keeps at most 8 MB for the next burst: when the thread stops,
    // or after a second without messages while it runs.
    constexpr std::size_t kPage = CMsgList::kPageBytes;
    constexpr std::size_t kKept = (CMsgList::kSparePagesKept + 1) * kPage;
    traceBurstsToFilesOnly();
    for (bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stopped" : "idle");
        queueABurst();
        EXPECT_GE(trace.Queue().MemoryHeld(), kKept + 32 * kPage);
        ASSERT_TRUE(trace.Start());
        if (stop) {
            trace.Stop();
            EXPECT_LE(trace.Queue().MemoryHeld(), kKept);
        } else {
            // Waits for the thread to write the burst (a minute and more when emulated), then a second.
            EXPECT_TRUE(
                testing_support::eventually([&] { return trace.Queue().MemoryHeld() <= kKept; }, 300000))
                << trace.Queue().MemoryHeld();
            trace.Stop();
        }
    }
}

TEST_F(Trace, TheQueueGivesItsMemoryBackWhileMessagesTrickleIn) {
    // After a burst, a host that keeps tracing now and then never leaves the print thread idle for a
    // whole second: the pages the burst took go back all the same, down to the 8 MB kept for the next
    // burst (the trickle's pages included).
    constexpr std::size_t kPage = CMsgList::kPageBytes;
    constexpr std::size_t kKept = (CMsgList::kSparePagesKept + 2) * kPage;
    traceBurstsToFilesOnly();
    queueABurst();
    ASSERT_GE(trace.Queue().MemoryHeld(), kKept + 32 * kPage);
    ASSERT_TRUE(trace.Start());
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        for (int i = 0; trickling; ++i) {
            LevelPrintFormatted(trace, 0, 4, "a line of the trickle, number %d\n", i);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_TRUE(testing_support::eventually([&] { return trace.Queue().MemoryHeld() <= kKept; }, 60000))
        << trace.Queue().MemoryHeld();
    trickling = false;
    trickle.join();
    trace.Stop();
}

TEST_F(Trace, ProducerThreadsKeepTheirOrderThroughThePrintThread) {
    trace.SetConsole(false);
    trace.SetTimeStamp(false);
    trace.SetFile(true, folder.file("output.txt"), true);
    ASSERT_TRUE(trace.Start());
    constexpr int kThreads = 6;
    constexpr int kLines = 400;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t)
        producers.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i)
                print("t%d %d\n", t, i);
        });
    for (auto& producer : producers)
        producer.join();
    trace.Stop();
    std::istringstream lines(read("output.txt"));
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    std::regex pattern(kTimePrefix + R"(t(\d) (\d+))");
    while (std::getline(lines, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, pattern))
            continue;
        EXPECT_EQ(std::stoi(match[2]), next[static_cast<std::size_t>(std::stoi(match[1]))]++);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(Trace, SettingsChangeFromAnotherThreadWhileThePrintThreadWrites) {
    // Run under ThreadSanitizer too: the switches and the trace-file settings are read by the print
    // thread while this thread changes them.
    trace.SetConsole(false);
    trace.SetLevelOutput(true, true, false);
    trace.SetLevel(1);
    trace.SetLogFile(base(), true, kRotateSize, 1000);
    ASSERT_TRUE(trace.Start());
    std::atomic<bool> done{false};
    std::thread configurer([&] {
        for (int round = 0; !done; ++round) {
            trace.SetTimeStamp(round % 2 == 0);
            trace.SetLogFile(round % 2 ? base() : platform::joinPath(folder.path(), "Other"), round % 3 == 0,
                             kRotateSize, 500 + round % 7);
            trace.SetLevelOutput(true, true, false);
        }
    });
    for (int i = 0; i < 3000; ++i)
        levelPrint(static_cast<std::uint8_t>(i % 2), i % 5, "a leveled line of some length\n");
    done = true;
    configurer.join();
    trace.Stop();
    EXPECT_FALSE(files().empty());
}

} // namespace

TEST_F(Trace, StartAndStopFromSeveralThreadsAtOnce) {
    // Run under AddressSanitizer and ThreadSanitizer too. Threads start and stop the print thread at the
    // same time while others trace to the files: one print thread at most at any time (its start and end
    // messages alternate), no file closed under a thread that writes it, and every message written once.
    CapturedConsole captured;
    CTrace other;
    other.SetConsoleOutput(captured);
    other.SetTimeStamp(false);
    other.SetLogFile(base(), true, kRotateSize, 100000000);
    other.SetLevelOutput(true, true, false);
    constexpr int kProducers = 3;
    constexpr int kEach = 3000;
    constexpr int kControllers = 4;
    constexpr int kRounds = 60;
    std::atomic<int> producing{kProducers};
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back([&other, &producing, p] {
            for (int i = p; i < kProducers * kEach; i += kProducers)
                LevelPrintFormatted(other, 0, 1 + i % 4, "line %d %d\n", p, i);
            --producing;
        });
    for (int c = 0; c < kControllers; ++c)
        threads.emplace_back([&other, &producing, c] {
            for (int round = 0; round < kRounds || producing > 0; ++round) {
                if ((round + c) % 2 == 0)
                    EXPECT_TRUE(other.Start());
                else
                    EXPECT_TRUE(other.Stop());
            }
        });
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(other.Start()); // what the last stop left queued
    other.Stop();

    std::istringstream lines(captured.Text());
    std::string line, last = "Print Thread is end....";
    int begins = 0;
    while (std::getline(lines, line)) {
        if (line != "PrintThread Begin...." && line != "Print Thread is end....")
            continue;
        ASSERT_NE(line, last) << "two print threads at once";
        last = line;
        begins += line == "PrintThread Begin....";
    }
    EXPECT_EQ(last, "Print Thread is end....");
    EXPECT_GT(begins, kRounds / 2);
    std::string all;
    for (const std::string& name : files())
        all += read(name);
    const std::map<int, int> counts = countedLines(all, "line");
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(kProducers * kEach));
    for (const auto& [index, count] : counts)
        ASSERT_EQ(count, 1) << "line " << index;
}
