// Trace as host processes use it: linked by name, loaded by ordinal, and unloaded or exited with thousands
// of messages queued. Each case runs a fresh copy of the host in a folder of its own, since Trace puts its
// files beside the executable.
#include "child_process.h"
#include "platform.h"
#include "test_support.h"
#include "traced_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testing_support::kWindows;
using testing_support::TemporaryFolder;

using traced_lines::countedLines;
using traced_lines::kTimePrefix;

// Whether the programs are built with ThreadSanitizer, whose own exit code flushes standard output under
// the stream's lock.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

class TraceHost : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string bin = platform::parentDirectory(platform::executablePath());
    platform::EnvironmentChanges environment;

    void SetUp() override {
        if (kWindows)
            environment.push_back({"PATH", bin + ";" + platform::environmentVariable("PATH").value_or("")});
    }

    std::string copyOf(const std::string& helper) {
        std::string copy = folder.file(kWindows ? helper + ".exe" : helper);
        fs::copy_file(testing_support::helperProgram(helper), copy);
        return copy;
    }

    platform::ProcessResult run(const std::string& program, const std::vector<std::string>& arguments,
                                unsigned limitMilliseconds = 120000) {
        platform::ProcessResult result =
            platform::runProcess(program, arguments, environment, limitMilliseconds);
        EXPECT_TRUE(result.finished) << "the host hung";
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        result.output = withoutCarriageReturns(result.output);
        return result;
    }

    // Every file of the folder whose name starts with prefix, joined.
    std::string filesStartingWith(const std::string& prefix) const {
        std::string all;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                all += withoutCarriageReturns(testing_support::readFile(entry.path().string()));
        }
        return all;
    }
};

// Counts the lines "<kind> T I" (after the time prefix) and checks that each (T, I) came once, in order
// (at least once where a line may be repeated).
void expectEveryMessage(const std::string& text, const std::string& kind, int count, bool onceOnly = true) {
    std::istringstream lines(text);
    std::string line;
    std::map<int, int> last;
    std::set<int> seen;
    std::regex pattern("^" + kTimePrefix + kind + R"( (\d+) (\d+)$)");
    while (std::getline(lines, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, pattern))
            continue;
        int thread = std::stoi(match[1]);
        int index = std::stoi(match[2]);
        bool first = seen.insert(index).second;
        EXPECT_TRUE(first || !onceOnly) << "twice: " << line;
        if (last.count(thread)) {
            EXPECT_GE(index, last[thread] + (onceOnly ? 1 : 0)) << "out of order: " << line;
        }
        last[thread] = index;
    }
    EXPECT_EQ(static_cast<int>(seen.size()), count) << kind;
}

TEST_F(TraceHost, LinkedByNameTracesToBothKindsOfFile) {
    std::string host = copyOf("trace_host");
    auto result = run(host, {"setup", "Linked", "start", "flood", "400", "stop", "get-time", "print", "abc"});
    EXPECT_TRUE(std::regex_search(result.output,
                                  std::regex(R"(start=1\nstop=1\ntime=\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\n)")))
        << result.output;
    // File output on, console off, no print thread: the length is returned and nothing is written.
    EXPECT_TRUE(std::regex_search(result.output, std::regex("print=26\n"))) << result.output;
    EXPECT_EQ(filesStartingWith("output.txt").find("abc"), std::string::npos);
    expectEveryMessage(filesStartingWith("output.txt"), "plain", 400);
    expectEveryMessage(filesStartingWith("Linked"), "level", 400);
}

TEST_F(TraceHost, ExitWithMessagesQueuedLosesNone) {
    std::string host = copyOf("trace_host");
    run(host, {"setup", "Exit", "start", "flood", "20000"}); // no stop: the process just ends
    // Windows kills the print thread before the library unloads; the unload finishes the message it left
    // from where it stopped. Nothing is lost, nothing comes out twice.
    expectEveryMessage(filesStartingWith("output.txt"), "plain", 20000);
    expectEveryMessage(filesStartingWith("Exit"), "level", 20000);
}

TEST_F(TraceHost, ExitWithThePrintThreadStuckInAWriteEnds) {
    // Standard output is a pipe nobody reads: the print thread blocks in a console write once the pipe is
    // full, with thousands of messages queued behind it. The process ends all the same, without a crash.
    // Linux: the exit waits for the thread only while it gets on, then ends the process without it
    // (nothing it may still touch is freed); the lines it wrote before are in the output file, each once.
    // Windows: the system kills the thread; the unload writes what was queued to the files, not to the
    // console (which would block again).
    if (kThreadSanitizer)
        GTEST_SKIP()
            << "ThreadSanitizer's exit flushes standard output under its lock, which the stuck thread "
               "holds: the host cannot end, whatever Trace does";
    std::string host = copyOf("trace_host");
    auto result = run(host, {"setup", "Stuck", "console", "unread-stdout", "start", "flood", "20000"}, 60000);
    EXPECT_NE(result.errors.find("unread-stdout=1"), std::string::npos) << result.errors;
    const std::string output = filesStartingWith("output.txt");
    if (kWindows) {
        expectEveryMessage(output, "plain", 20000, false);
        return;
    }
    const std::map<int, int> written = countedLines(output, "plain");
    EXPECT_FALSE(written.empty());
    EXPECT_LT(written.size(), 20000u) << "the thread was stuck before it had written everything";
    for (const auto& [index, count] : written)
        EXPECT_EQ(count, 1) << "plain " << index;
}

TEST_F(TraceHost, AForkedChildStartsWithoutTheParentsThreadAndMessages) {
    if (!testing_support::kWindows) {
        // ThreadSanitizer refuses threads in the child of a process with threads unless told to allow them.
        const std::string options = platform::environmentVariable("TSAN_OPTIONS").value_or("");
        environment.push_back({"TSAN_OPTIONS", options + (options.empty() ? "" : ":") + "die_after_fork=0"});
    } else {
        GTEST_SKIP() << "Windows has no fork";
    }
    std::string host = copyOf("trace_host");
    // The parent's print thread waits for messages when the children are made.
    auto result = run(host, {"setup", "Fork", "start", "flood", "2000", "stop", "start", "fork-exit",
                             "fork-trace", "1000", "flood", "0", "stop"});
    EXPECT_EQ(result.output, "start=1\nstop=1\nstart=1\nfork-exit=0\nfork-trace=0\nstop=1\n")
        << "-1: the child hung";
    const std::string output = filesStartingWith("output.txt");
    const std::string leveled = filesStartingWith("Fork");
    expectEveryMessage(output, "plain", 2000);
    expectEveryMessage(leveled, "level", 2000);
    expectEveryMessage(output, "child", 1000);
    expectEveryMessage(leveled, "childlevel", 1000);
}

TEST_F(TraceHost, AForkedChildLeavesTheParentsConsoleEventsAlone) {
    // The child's signals get their previous handling (SIGINT ends it: 128 + 2) instead of reaching the
    // parent's watcher, and the child's end leaves the parent's watcher running: the parent's own signal
    // is traced, once.
    if (testing_support::kWindows)
        GTEST_SKIP() << "Windows has no fork";
    std::string host = copyOf("trace_host");
    auto result = run(host, {"fork-console-events"});
    const std::string event = kTimePrefix + "Receive Console Event\n";
    EXPECT_TRUE(std::regex_match(result.output, std::regex("open=1\nfork-events=130\n" + event)))
        << result.output;
}

TEST_F(TraceHost, UnloadWithMessagesQueuedLosesNone) {
    std::string host = copyOf("trace_dynamic_host");
    auto result = run(host, {bin, "unload", "20000"});
    EXPECT_TRUE(result.output.find("unloaded\n") != std::string::npos) << result.output;
    if (kWindows) {
        EXPECT_TRUE(result.output.find("Stop=1\n") != std::string::npos) << "stopping after the unload works";
    }
    expectEveryMessage(filesStartingWith("output.txt"), "plain", 20000);
    expectEveryMessage(filesStartingWith("Unload"), "level", 20000);
}

TEST_F(TraceHost, EachFunctionThroughItsOrdinal) {
    std::string host = copyOf("trace_dynamic_host");
    auto result = run(host, {bin, "all"});
    std::string expected = "GetConsole=0\nGetFile=1\nStart=1\nPrint=31\nVPrint=32\nBinData=3\nLevelPrint=32\n"
                           "LevelVPrint=32\nLevelBinData=3\nGetTime=19\nStop=1\n";
    EXPECT_EQ(result.output, expected);
    EXPECT_NE(withoutCarriageReturns(result.errors).find("OpenConsole=1\nCloseConsole=0\n"),
              std::string::npos)
        << result.errors;
    std::string output = filesStartingWith("dynamic-output.txt");
    EXPECT_TRUE(std::regex_search(output, std::regex(kTimePrefix + "plain 8\n" + kTimePrefix + "vprint 9\n" +
                                                     kTimePrefix + "BinData: \n")))
        << output;
    std::string leveled = filesStartingWith("Dynamic");
    for (const char* text : {" - level 14\n", " - level 15\n", " - BinData: \n"})
        EXPECT_NE(leveled.find(text), std::string::npos) << text << " in " << leveled;
}

// The hex dump of a block's first rows, written out here independently of the library.
std::string dumpRows(const std::vector<unsigned char>& bytes, std::size_t rows) {
    std::string text = "\n";
    for (std::size_t row = 0; row < rows; ++row) {
        char field[16];
        std::snprintf(field, sizeof field, "%08X: ", static_cast<unsigned>(row * 16));
        text += field;
        std::string characters;
        for (std::size_t i = row * 16; i < row * 16 + 16; ++i) {
            std::snprintf(field, sizeof field, "%02X ", bytes[i]);
            text += field;
            characters += bytes[i] >= 32 && bytes[i] <= 128 ? static_cast<char>(bytes[i]) : '.';
        }
        text += "   " + characters + "\n";
    }
    return text;
}

// Compares long texts, telling only where they part.
testing::AssertionResult sameText(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return testing::AssertionFailure()
           << actual.size() << " characters where " << expected.size() << " were expected; from character "
           << at << ": \"" << actual.substr(at, 40) << "\" instead of \"" << expected.substr(at, 40) << "\"";
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    std::size_t start = text.find(open);
    std::size_t end = start == std::string::npos ? start : text.find(close, start + open.size());
    if (end == std::string::npos)
        return "<missing " + open + ">";
    return text.substr(start + open.size(), end - start - open.size());
}

TEST_F(TraceHost, AHugeHexDumpUnderAMemoryLimitKeepsItsFirstRows) {
    // The whole dump of 300 MB would take about 1.5 GB; the process may take 700 MB more than it holds.
    std::string host = copyOf("trace_host");
    auto result = run(host, {"limit-memory", "700", "bindata-big", "300"});
    // Wine accepts a job's memory limit but does not enforce it: there the case only checks the text.
    if (!kWindows) {
        EXPECT_NE(result.output.find("limit=1\n"), std::string::npos)
            << "the limit is in force: " << result.output.substr(0, 200);
    }
    EXPECT_NE(result.output.find("bindata=314572800\n"), std::string::npos) << result.output.substr(0, 200);
    EXPECT_NE(result.output.find("levelbindata=314572800\n"), std::string::npos);
    std::vector<unsigned char> block(4096);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    const std::string text = "BinData: \n" + dumpRows(block, 200);
    EXPECT_TRUE(sameText(between(result.output, "[plain]", "[/plain]"), text.substr(0, 10240)))
        << "a plain text keeps 10,240 characters";
    const std::string leveled = between(result.output, "[level]", "[/level]");
    const std::size_t start = leveled.find("BinData: ");
    ASSERT_NE(start, std::string::npos) << leveled.substr(0, 200);
    EXPECT_TRUE(sameText(leveled.substr(start, 10234), text.substr(0, 10234)))
        << "a leveled text keeps 10,234 characters and its terminator";
}

TEST_F(TraceHost, FilesGoBesideAnExecutableWithALongPath) {
    // As long as the path buffer of 256 characters the output file's name was once built in, and (Linux)
    // longer than the 260 of the trace files' one. Windows programs cannot start one of 260 or more here.
    const std::vector<std::size_t> lengths =
        kWindows ? std::vector<std::size_t>{256, 259} : std::vector<std::size_t>{256, 259, 300, 1000};
    for (std::size_t length : lengths) {
        SCOPED_TRACE(length);
        const std::string executable = kWindows ? "trace_host.exe" : "trace_host";
        // Folders of 40 characters, then one that takes up the rest.
        std::string deep = folder.file("long" + std::to_string(length));
        auto rest = [&] { return length - deep.size() - 1 - executable.size(); };
        while (rest() > 42)
            deep = platform::joinPath(deep, std::string(40, 'd'));
        deep = platform::joinPath(deep, std::string(rest() - 1, 'e'));
        ASSERT_TRUE(platform::createDirectories(deep));
        std::string host = platform::joinPath(deep, executable);
        ASSERT_EQ(host.size(), length);
        fs::copy_file(testing_support::helperProgram("trace_host"), host);
        run(host, {"setup", "Deep", "start", "flood", "40", "stop"});
        std::string output = testing_support::readFile(platform::joinPath(deep, "output.txt"));
        expectEveryMessage(withoutCarriageReturns(output), "plain", 40);
        std::string leveled;
        int traceFiles = 0;
        for (const auto& entry : fs::directory_iterator(deep)) {
            if (entry.path().filename().string().rfind("Deep", 0) == 0) {
                ++traceFiles;
                leveled += withoutCarriageReturns(testing_support::readFile(entry.path().string()));
            }
        }
        EXPECT_EQ(traceFiles, 4) << "one trace file per id beside the executable";
        expectEveryMessage(leveled, "level", 40);
    }
}

TEST_F(TraceHost, TheTextConsoleKeepsARedirectedStandardOutput) {
    // The test reads the host's standard output from a file: it is redirected.
    std::string host = copyOf("trace_host");
    auto result = run(host, {"console-print", "through the redirect"});
    EXPECT_TRUE(std::regex_match(result.output,
                                 std::regex("open=1\n" + kTimePrefix + "through the redirect\nclose=0\n")))
        << result.output;
}

TEST_F(TraceHost, StopMessagesGoToStandardOutputOnly) {
    std::string host = copyOf("trace_host");
    auto result = run(host, {"setup", "Stops", "console", "start", "flood", "200", "stop"});
    const std::string& out = result.output;
    const char* const stopMessages[] = {"PrintThread Begin....\n", "Stopping Print Thread....\n",
                                        "Waiting....\n", "Print Thread is end....\n"};
    std::vector<std::size_t> at;
    for (const char* message : stopMessages) {
        std::regex once(kTimePrefix + message);
        EXPECT_EQ(std::distance(std::sregex_iterator(out.begin(), out.end(), once), std::sregex_iterator()),
                  1)
            << message << " in " << out;
        at.push_back(out.find(message));
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << out;
    EXPECT_LT(at[0], out.find("start=1\n")) << "announced before the start returned";
    EXPECT_LT(out.rfind(" - plain "), at[3]) << "every queued line before the end message";
    EXPECT_NE(out.find("Print Thread is end....\nstop=1\n"), std::string::npos) << out;
    expectEveryMessage(out, "plain", 200);
    std::string file = filesStartingWith("output.txt");
    expectEveryMessage(file, "plain", 200);
    for (const char* message : {"PrintThread", "Stopping", "Waiting", "Print Thread"})
        EXPECT_EQ(file.find(message), std::string::npos) << message << " reached the output file";
}

TEST_F(TraceHost, ALongTextPrintedWhileAnotherThreadPrintsComesOutWhole) {
    // Without a print thread each caller prints straight to standard output (unbuffered in the host).
    std::string host = copyOf("trace_host");
    auto result = run(host, {"two-writers", "200"});
    std::istringstream lines(result.output);
    std::string line;
    int whole = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ASSERT_TRUE(line == std::string(9000, 'a') || line == std::string(9000, 'b'))
            << "a line mixes the two threads' texts: " << line.substr(0, 40) << "...";
        ++whole;
    }
    EXPECT_EQ(whole, 400);
}

TEST_F(TraceHost, ConsoleEventsAreTraced) {
    if (kWindows)
        GTEST_SKIP() << "console control events cannot be sent to a process under Wine here";
    std::string host = copyOf("trace_host");
    auto result = run(host, {"console-events"});
    std::string expected = "open=1\n" + kTimePrefix + "Receive Console Event\n" + kTimePrefix +
                           "Receive Console Event\n" + kTimePrefix + "Receive Console Event\nclose=0\n";
    EXPECT_TRUE(std::regex_match(result.output, std::regex(expected))) << result.output;
}

} // namespace
