// Console as a host process sees it: each case starts a fresh host process (console_host) with a
// settings store of its own and checks what reached the buffer, the log file and the output.
#include "child_process.h"
#include "non_regular_files.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using testing_support::kWindows;
using testing_support::TemporaryFolder;

const std::string kStamp = R"(\d\d:\d\d:\d\d - )";
const std::string kBannerDate = R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3]\d \d\d:\d\d:\d\d \d{4})";
const std::string kBanner = "*** Pelmora Console started at [DATE]\n\n";

// Replaces the banner's date by [DATE] and every stamp by [T], so texts compare exactly.
std::string normalized(const std::string& text) {
    std::string result = std::regex_replace(text, std::regex(kBannerDate), "[DATE]");
    return std::regex_replace(result, std::regex(kStamp), "[T]");
}

class ConsoleHost : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::map<std::string, std::string> settings;

    std::string path(const std::string& name) const { return folder.file(name); }
    std::string read(const std::string& name) const { return testing_support::readFile(path(name)); }

    platform::EnvironmentChanges environment() const { return {{"KITBAG_SETTINGS", path("settings.ini")}}; }

    void writeSettings() const {
        std::string text = "[Debug]\n";
        for (const auto& [key, value] : settings)
            text += key + "=" + value + "\n";
        testing_support::writeFile(path("settings.ini"), text);
    }

    // Runs console_host with the commands; returns its standard output.
    std::string run(const std::vector<std::string>& commands) const {
        writeSettings();
        platform::ProcessResult result =
            platform::runProcess(testing_support::helperProgram("console_host"), commands, environment());
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result.output;
    }

    std::unique_ptr<platform::ChildProcess> start(const std::vector<std::string>& commands) const {
        return std::make_unique<platform::ChildProcess>(testing_support::helperProgram("console_host"),
                                                        commands, environment());
    }
};

TEST_F(ConsoleHost, FirstTextIsTheUnstampedBannerAndTheHostsFirstLineIsStamped) {
    run({"simple", "abc", "read", path("out")});
    std::string text = read("out");
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(\*\*\* Pelmora Console started at )" + kBannerDate + "\n\n" + kStamp + "abc")))
        << text;
}

TEST_F(ConsoleHost, AStampStartsEachLineOnly) {
    run({"simple", "a", "simple", "b\\n", "simple", "c\\n", "simple", "", "simple", "d\\n", "trace", "e",
         "log", "never", "logerror", "f\\n", "read", path("out")});
    EXPECT_EQ(normalized(read("out")), kBanner + "[T]ab\n[T]c\n[T][T]d\n[T]ef\n");
}

TEST_F(ConsoleHost, RingBufferOfEightBytesWraps) {
    settings["InternalBufferSize"] = "8";
    run({"simple", "0123456789", "read", path("first"), "simple", "ab", "read", path("second")});
    EXPECT_EQ(read("first"), "23456789");
    EXPECT_EQ(read("second"), "456789ab");
}

TEST_F(ConsoleHost, BufferSizeSettingsThatCannotSizeABuffer) {
    struct Case {
        const char* size;
        bool buffered;
    };
    for (const Case& c : {Case{"0", false}, Case{"-5", true}, Case{"0x19000", true}, Case{"junk", true}}) {
        SCOPED_TRACE(c.size);
        settings["InternalBufferSize"] = c.size;
        settings["EnableLogToFile"] = "1";
        settings["LogFile"] = path("console.log");
        run({"simple", "kept\\n", "read", path("out")});
        EXPECT_EQ(normalized(read("out")), c.buffered ? kBanner + "[T]kept\n" : "");
        EXPECT_EQ(normalized(read("console.log")), kBanner + "[T]kept\n")
            << "the file sink works whatever the size";
    }
}

TEST_F(ConsoleHost, ReadBackWithHtmlMarksEachLineFeed) {
    run({"simple", "a\\n", "simple", "b\\n", "read", path("plain"), "read-html", path("html")});
    EXPECT_EQ(normalized(read("plain")), kBanner + "[T]a\n[T]b\n");
    EXPECT_EQ(normalized(read("html")), "*** Pelmora Console started at [DATE]<p>\n<p>\n[T]a<p>\n[T]b<p>\n");
}

TEST_F(ConsoleHost, LogFileHoldsExactlyTheEmittedBytes) {
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = path("console.log");
    testing_support::writeFile(path("console.log"), "left from an earlier run\n");
    run({"simple", "one\\n", "trace", "two", "logerror", " and more\\n", "read", path("out")});
    std::string file = read("console.log");
    EXPECT_EQ(file, read("out"));
    EXPECT_EQ(normalized(file), kBanner + "[T]one\n[T]two and more\n");
    EXPECT_EQ(file.find('\r'), std::string::npos);
}

TEST_F(ConsoleHost, MissingLogFolderSkipsOnlyTheFileSink) {
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = path("missing/console.log");
    run({"simple", "still here\\n", "read", path("out")});
    EXPECT_EQ(normalized(read("out")), kBanner + "[T]still here\n");
    EXPECT_FALSE(platform::fileExists(path("missing")));
}

TEST_F(ConsoleHost, ConsoleInitialiseStartsANewBufferFileAndBanner) {
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = path("console.log");
    run({"simple", "before\\n", "read", path("first"), "init", "simple", "after\\n", "read", path("second")});
    EXPECT_EQ(normalized(read("first")), kBanner + "[T]before\n");
    // The reload's banner follows a finished line, so it is stamped like any other text.
    EXPECT_EQ(normalized(read("second")), "[T]" + kBanner + "[T]after\n");
    EXPECT_EQ(read("console.log"), read("second"));
}

TEST_F(ConsoleHost, DebuggerOutputOnLinuxIsStandardError) {
    if (kWindows)
        GTEST_SKIP() << "on Windows the text goes to OutputDebugStringA";
    settings["EnableLogToDebugOutput"] = "1";
    writeSettings();
    auto result = platform::runProcess(testing_support::helperProgram("console_host"),
                                       {"simple", "to the debugger\\n"}, environment());
    EXPECT_EQ(normalized(result.errors), kBanner + "[T]to the debugger\n");

    settings["EnableLogToDebugOutput"] = "0";
    writeSettings();
    result = platform::runProcess(testing_support::helperProgram("console_host"), {"simple", "quiet\\n"},
                                  environment());
    EXPECT_EQ(result.errors, "");
}

TEST_F(ConsoleHost, EnableLogToFileWithoutAFileNameDeletesNothing) {
    settings["EnableLogToFile"] = "1";
    testing_support::writeFile(path("bystander.log"), "untouched");
    run({"simple", "x\\n"});
    EXPECT_EQ(read("bystander.log"), "untouched");
}

TEST_F(ConsoleHost, LogFileThatIsNoRegularFileIsNeitherDeletedNorWritten) {
    if (kWindows)
        GTEST_SKIP() << "FIFOs and device nodes are POSIX'";
    for (const testing_support::NonRegularFile& file : testing_support::nonRegularFiles()) {
        SCOPED_TRACE(file.name);
        const std::string node = path(std::string("node-") + file.name);
        if (!testing_support::makeNonRegularFile(file, node)) {
            EXPECT_TRUE(file.rootOnly) << "could not make a " << file.name;
            continue; // not root: no device node to test with
        }
        settings["EnableLogToFile"] = "1";
        settings["LogFile"] = node;
        writeSettings();
        // Each load would delete the log file: the first, and ConsoleInitialise's.
        auto result =
            platform::runProcess(testing_support::helperProgram("console_host"),
                                 {"simple", "kept\\n", "init", "simple", "again\\n", "read", path("out")},
                                 environment(), testing_support::kHostBound);
        ASSERT_TRUE(result.finished) << "the host waited on the node";
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_TRUE(file.isStillThere(node)) << "the node was replaced";
        EXPECT_EQ(normalized(read("out")), "[T]" + kBanner + "[T]again\n") << "the other sinks go on";
    }
}

// One rule on every platform: each load deletes only a writable regular log file. A read-only file is kept
// and not written; a symbolic link is refused: neither it nor its target is deleted or written (appends
// followed it, so that the target grew for ever). The other sinks go on.
TEST_F(ConsoleHost, LogFileThatIsReadOnlyOrALinkIsKeptAndNotWritten) {
    namespace fs = std::filesystem;
    const std::string logFile = path("console.log");
    const std::string target = path("target.log");
    const std::string nowhere = path("made-through-link.log");
    struct Case {
        const char* name;
        std::function<bool()> make; // false: this platform cannot make it here
        std::function<void()> check;
    };
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const Case cases[] = {
        {"read-only file",
         [&] {
             testing_support::writeFile(logFile, "precious\n");
             fs::permissions(logFile, readOnly);
             return true;
         },
         [&] {
             EXPECT_EQ(read("console.log"), "precious\n");
             EXPECT_EQ(fs::status(logFile).permissions() & fs::perms::owner_write, fs::perms::none);
             fs::permissions(logFile, fs::perms::owner_write, fs::perm_options::add);
         }},
        {"link to a file",
         [&] {
             testing_support::writeFile(target, "target\n");
             std::error_code error;
             fs::create_symlink(target, logFile, error);
             return !error;
         },
         [&] {
             EXPECT_TRUE(fs::is_symlink(logFile));
             EXPECT_EQ(read("target.log"), "target\n");
         }},
        {"link to nothing",
         [&] {
             std::error_code error;
             fs::create_symlink(nowhere, logFile, error);
             return !error;
         },
         [&] {
             EXPECT_TRUE(fs::is_symlink(logFile));
             EXPECT_FALSE(fs::exists(fs::symlink_status(nowhere))) << "created through the link";
         }},
    };
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = logFile;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(logFile);
        if (!c.make()) {
            ASSERT_TRUE(kWindows) << "no symbolic link";
            continue;
        }
        // Each load would delete the log file: the first, and ConsoleInitialise's.
        run({"simple", "kept\\n", "init", "simple", "again\\n", "read", path("out")});
        EXPECT_EQ(normalized(read("out")), "[T]" + kBanner + "[T]again\n") << "the other sinks go on";
        c.check();
    }
    // A writable file is the log file again.
    fs::remove(logFile);
    testing_support::writeFile(logFile, "old\n");
    run({"simple", "new\\n"});
    EXPECT_EQ(normalized(read("console.log")), kBanner + "[T]new\n");
}

TEST_F(ConsoleHost, LogFileNameTooLongForItsBufferIsRefusedNotCut) {
    // A name of 260 characters whose first 259 name an existing file: cut to the buffer, it would name
    // that file, and every load would delete it and log into it.
    const std::string prefix = platform::joinPath(folder.path(), "");
    const std::string victim = prefix + std::string(259 - prefix.size(), 'v');
    ASSERT_EQ(victim.size(), 259u);
    testing_support::writeFile(victim, "precious\n");
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = victim + "w";
    run({"simple", "x\\n", "read", path("out")});
    EXPECT_EQ(testing_support::readFile(victim), "precious\n");
    EXPECT_EQ(normalized(read("out")), kBanner + "[T]x\n") << "only the file sink is off";

    // A name that fits is the log file.
    settings["LogFile"] = victim;
    run({"simple", "x\\n", "read", path("out")});
    EXPECT_EQ(normalized(testing_support::readFile(victim)), kBanner + "[T]x\n");
}

TEST_F(ConsoleHost, QueriesAndTheGateOfCsLog) {
    struct Case {
        std::map<std::string, std::string> settings;
        std::string queries;
        bool infoWritten;
    };
    const Case cases[] = {
        {{}, "trace=1 log=0 error=1", false},
        {{{"EnableLogInfo", "1"}}, "trace=1 log=1 error=1", true},
        {{{"EnableTrace", "0"}, {"EnableLogError", "0"}}, "trace=0 log=0 error=0", false},
        {{{"EnableTrace", "0"}, {"EnableLogToFile", "1"}}, "trace=1 log=0 error=1", false},
        {{{"EnableTrace", "0"}, {"EnableLogToDebugOutput", "1"}}, "trace=1 log=0 error=1", false},
    };
    for (const Case& c : cases) {
        settings = c.settings;
        std::string output = run(
            {"queries", "log", "info\\n", "trace", "trace\\n", "logerror", "error\\n", "read", path("out")});
        SCOPED_TRACE(c.queries);
        EXPECT_EQ(output.substr(0, c.queries.size()), c.queries);
        std::string expected = kBanner + (c.infoWritten ? "[T]info\n" : "") + "[T]trace\n[T]error\n";
        EXPECT_EQ(normalized(read("out")), expected);
    }
}

TEST_F(ConsoleHost, ErrorWritersAddTheReasonAndALineFeed) {
    const std::string code = kWindows ? "0x80040209" : "2"; // a code with a text
    std::string reason = run({"error-text", code});
    ASSERT_FALSE(reason.empty()) << "the platform has a text for " << code;
    std::string unknownReason = run({"error-text", "0x7ffffff0"});
    if (!kWindows) {
        EXPECT_EQ(reason, "No such file or directory");
        EXPECT_EQ(unknownReason, "") << "only errno values have a text";
    }
    run({"logerror-code", code, "open failed", "logerror-code", code, "open failed\\n", "logerror-code",
         "0x7ffffff0", "unknown", "krm", "", "call failed", "krm", "busy", "call", "read", path("out")});
    std::string expected = kBanner + "[T]open failed - " + reason + "\n" + "[T]open failed\n[T] - " + reason +
                           "\n" + "[T]unknown - " + unknownReason + "\n" + "[T]call failed - \n" +
                           "[T]call - busy\n";
    EXPECT_EQ(normalized(read("out")), expected);
}

TEST_F(ConsoleHost, OverlongTextIsCutToTheWritersBuffer) {
    settings["InternalBufferSize"] = "200000";
    run({"trace-repeat", "x", "40000", "simple", "\\n", "trace-repeat", "y", "32767", "read", path("out")});
    EXPECT_EQ(normalized(read("out")),
              kBanner + "[T]" + std::string(32767, 'x') + "\n[T]" + std::string(32767, 'y'));
}

// Widths and precisions that ended a Windows host inside the C runtime's formatter (a stack overflow): the
// writers cut the text at their buffer like any other.
TEST_F(ConsoleHost, HugeFieldsAreCutToTheWritersBuffer) {
    settings["InternalBufferSize"] = "200000";
    run({"trace-format", "%1000000000d|", "5",         "0", "simple", "\\n",
         "trace-format", "%.10000000d",   "5",         "0", "simple", "\\n",
         "trace-format", "%*d",           "10000000",  "5", "simple", "\\n",
         "trace-format", "%-*d|",         "-10000000", "5", "read",   path("out")});
    const std::string spaces(32767, ' ');
    EXPECT_EQ(normalized(read("out")), kBanner + "[T]" + spaces + "\n[T]" + std::string(32767, '0') +
                                           "\n[T]" + spaces + "\n[T]5" + spaces.substr(1));
}

// CLog stamps its lines to the millisecond, the pipeline to the second: both from one clock, so that a line
// never shows an earlier time than the line before it, least of all right after a second began (a
// whole-second clock that lags the precise one showed the old second there).
TEST_F(ConsoleHost, StampsNeverGoBackFromOneLineToTheNext) {
    settings["InternalBufferSize"] = "8000000";
    // Three boundaries: right after one the lagging clock did not always show the old second.
    run({"-logging:2", "across-seconds", "3", "10000", "read", path("out")});
    std::istringstream lines(read("out"));
    const std::regex stamped(R"(^(\d\d):(\d\d):(\d\d)(:\d\d\d INFO: clog| - trace) \d+$)");
    long previous = -1;
    int checked = 0;
    std::string line, previousLine;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, stamped))
            continue;
        const long second = (std::stol(match[1]) * 60 + std::stol(match[2])) * 60 + std::stol(match[3]);
        // Midnight may fall between two lines.
        const bool wrapped = previous > 86000 && second < 400;
        ASSERT_TRUE(second >= previous || wrapped) << previousLine << "\nthen\n" << line;
        previous = second;
        previousLine = line;
        ++checked;
    }
    EXPECT_GE(checked, 3 * 2 * 10000);
}

// exit() runs the exit list while the other threads still run (on Linux): threads that write go on using
// the ring buffer and PipelineLock, which must not be freed under them. A large buffer is returned to the
// system at once when freed, so that a write into it faults. Each round is a process of its own.
TEST_F(ConsoleHost, ExitWhileThreadsWriteEndsCleanly) {
    settings["InternalBufferSize"] = "1048576";
    writeSettings();
    // Fewer on Windows, where the exit stops the other threads first: there the rounds only show that
    // nothing breaks either.
    const int rounds = kWindows ? 10 : 40;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        platform::ProcessResult result = platform::runProcess(testing_support::helperProgram("console_host"),
                                                              {"exit-while-tracing", "8"}, environment());
        ASSERT_TRUE(result.finished);
        ASSERT_EQ(result.exitCode, 0) << result.errors;
    }
}

// Lines "TAG t<i> line <j>" after a stamp; checks that every line is whole, stamped once, and that each
// thread's lines all arrived, in the order the thread wrote them.
void expectEveryLineOnce(const std::string& text, const std::string& tag, int threads, int lines) {
    std::istringstream stream(text);
    std::string line;
    std::map<int, int> nextLine;
    std::regex pattern("^" + kStamp + tag + R"( t(\d+) line (\d+)$)");
    int seen = 0;
    while (std::getline(stream, line)) {
        std::smatch match;
        if (line.find(tag + " t") == std::string::npos)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << "broken line: " << line;
        int thread = std::stoi(match[1]);
        int number = std::stoi(match[2]);
        EXPECT_EQ(number, nextLine[thread]) << "thread " << thread;
        nextLine[thread] = number + 1;
        ++seen;
    }
    EXPECT_EQ(seen, threads * lines);
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(nextLine[t], lines) << "thread " << t;
}

TEST_F(ConsoleHost, ThreadsWritingFromTheFirstLoadOnLoseNothingAndAgreeInEverySink) {
    settings["InternalBufferSize"] = "4000000";
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = path("console.log");
    // The threads start together before anything loaded the settings: they race the first load.
    run({"threads", "P", "8", "250", "read", path("out")});
    std::string buffered = read("out");
    EXPECT_EQ(buffered.rfind("*** Pelmora Console started at ", 0), 0u) << "the banner comes first";
    expectEveryLineOnce(buffered, "P", 8, 250);
    EXPECT_EQ(read("console.log"), buffered) << "one order in every sink";
}

TEST_F(ConsoleHost, TwoProcessesAppendingToOneLogFileKeepEveryLine) {
    if (kWindows)
        GTEST_SKIP() << "Wine does not make append-only writes atomic across processes (Windows does)";
    settings["EnableLogToFile"] = "1";
    settings["LogFile"] = path("shared.log");
    settings["InternalBufferSize"] = "1000";
    writeSettings();
    // Each loads (and so deletes the file) first, then both write at once.
    auto first =
        start({"queries", "touch", path("ready-a"), "wait-for", path("go"), "threads", "A", "4", "150"});
    auto second =
        start({"queries", "touch", path("ready-b"), "wait-for", path("go"), "threads", "B", "4", "150"});
    ASSERT_TRUE(first->started() && second->started());
    while (!platform::fileExists(path("ready-a")) || !platform::fileExists(path("ready-b")))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    testing_support::writeFile(path("go"), "go");
    ASSERT_TRUE(first->wait(120000) && second->wait(120000));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(second->exitCode(), 0);
    // Nothing is overwritten, and a stamp goes to the file with its text: every line is there, whole.
    std::string file = read("shared.log");
    expectEveryLineOnce(file, "A", 4, 150);
    expectEveryLineOnce(file, "B", 4, 150);
}

TEST_F(ConsoleHost, HtmlReportKeepsOnlyTheLastTextWithThePlatformsLineEnds) {
    run({"chdir", folder.path(), "html", "first\\nreport", "html", "second\\nreport"});
    const std::string lineEnd = kWindows ? "\r\n" : "\n";
    EXPECT_EQ(read("pelmora_report.html"), "second" + lineEnd + "report");
}

TEST(ConsoleUnload, LoadWriteReadAndUnloadRepeatedly) {
    TemporaryFolder folder;
    auto result = platform::runProcess(testing_support::helperProgram("console_unload_host"), {},
                                       {{"KITBAG_SETTINGS", folder.file("settings.ini")}});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    for (const char* line : {" - round 0", " - round 1", " - round 2"})
        EXPECT_NE(result.output.find(line), std::string::npos) << result.output;
}

} // namespace
