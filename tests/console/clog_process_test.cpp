// CLog as a process sees it: configuration from the command line and the environment, the header and
// footer, the singleton's life, and dispatch to each sink. Every case runs a fresh copy of console_host in
// a folder of its own, so its log file ("<executable>.log") is its own too.
#include "child_process.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

namespace {

using testing_support::kWindows;
using testing_support::TemporaryFolder;

const std::string kHeaderPattern = R"(\*{75}\nLog started on [A-Z][a-z]+day [1-3]?\d [A-Z][a-z]+ \d{4} at )"
                                   R"(\d\d:\d\d:\d\d:\d\d\d local time\nProcess ID:           0x[0-9a-f]+\n)"
                                   R"(CommandLine is:       '[^\n]*'\nCurrent directory is: '[^\n]*'\n\n)";
const std::string kFooterPattern =
    R"(\nLog ended on [A-Z][a-z]+day [1-3]?\d [A-Z][a-z]+ \d{4} at )"
    R"(\d\d:\d\d:\d\d:\d\d\d local time\nRunning time 00:00:\d\d:\d\d\d\n\*{75}\n\n)";

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class LogHost : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string host = folder.file(kWindows ? "console_host.exe" : "console_host");
    std::string logFile = host + ".log";
    platform::EnvironmentChanges environment{{"KITBAG_SETTINGS", folder.file("settings.ini")},
                                             {"logging", std::nullopt}};

    void SetUp() override {
        std::filesystem::copy_file(testing_support::helperProgram("console_host"), host);
        if (kWindows) {
            // The copy finds Console.dll and Kitbag.dll where the tests were built.
            std::string bin = platform::parentDirectory(platform::executablePath());
            environment.push_back({"PATH", bin + ";" + platform::environmentVariable("PATH").value_or("")});
        }
    }

    platform::ProcessResult run(const std::vector<std::string>& arguments) {
        platform::ProcessResult result =
            platform::runProcess(host, arguments, environment, testing_support::kHostBound);
        EXPECT_TRUE(result.finished) << "the host hung";
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        result.output = withoutCarriageReturns(result.output);
        return result;
    }
    void setVariable(const std::optional<std::string>& value) { environment[1].second = value; }
    std::string read(const std::string& path) const { return testing_support::readFile(path); }
    bool has(const std::string& text, const std::string& line) const {
        return text.find(line) != std::string::npos;
    }
};

TEST_F(LogHost, WithoutOptionOrVariableOnlyUserSeveritiesAreOn) {
    auto result = run(
        {"clog-enabled", "env", "logging", "clog-file", "clog", "4", "fatal", "read", folder.file("out")});
    EXPECT_EQ(result.output, "enabled=00000011\nlogging=00000100\ntofile=0 logfile=\n");
    EXPECT_FALSE(platform::fileExists(logFile));
    EXPECT_FALSE(has(read(folder.file("out")), "Log started")) << "the header reaches no sink";
}

TEST_F(LogHost, OptionSetsTheWordPassesItOnAndLeavesTheCommandLine) {
    auto result = run({"-logging:7", "get-log", "command-line", "env", "logging", "clog-file", "clog", "2",
                       "disk low", "read", folder.file("out")});
    EXPECT_TRUE(has(result.output, "logging=00000007\n"));
    EXPECT_TRUE(has(result.output, "tofile=1 logfile=" + logFile + "\n"));
    std::smatch line;
    ASSERT_TRUE(std::regex_search(result.output, line, std::regex(R"(commandline=\[(.*)\])")));
    if (kWindows) {
        // Linux keeps the command line text per library: the host's own copy still has the option.
        EXPECT_FALSE(has(line[1], "logging:")) << line[1];
        EXPECT_TRUE(std::regex_search(std::string(line[1]),
                                      std::regex(R"(console_host(\.exe)?"? get-log command-line)")))
            << "the option and the blank after it are gone: " << line[1];
    }

    std::string file = read(logFile);
    EXPECT_TRUE(std::regex_match(
        file, std::regex(kHeaderPattern + R"(\d\d:\d\d:\d\d:\d\d\d WARNING: disk low\n)" + kFooterPattern)))
        << file;
    EXPECT_TRUE(has(file, "-logging:7 get-log")) << "the header shows the command line as it was";

    std::string pipeline = read(folder.file("out"));
    EXPECT_EQ(pipeline.rfind("*** Pelmora Console started at ", 0), 0u)
        << "the banner comes before the header";
    EXPECT_TRUE(has(pipeline, "\n*****")) << pipeline;
    EXPECT_TRUE(has(pipeline, " WARNING: disk low\n"));
}

TEST_F(LogHost, WordFromTheEnvironment) {
    struct Case {
        const char* value;
        const char* enabled;
        const char* variableAfter;
        bool footer; // the header is written before the test can switch the file on
    };
    const Case cases[] = {
        {"00000001", "11111111", "00000001", false},         // inherited: no header, no footer
        {"", "00000011", "00000100", true},                  // empty counts as absent
        {"000000000103", "01111111", "000000000103", false}, // longer than eight digits: the whole text
        {"0x00000009", "11111111", "0x00000009", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        platform::deleteFile(logFile);
        setVariable(std::string(c.value));
        auto result = run(
            {"clog-enabled", "env", "logging", "set-log-to-file", "1", "callback", "6", "clog", "6", "user"});
        EXPECT_TRUE(has(result.output, "enabled=" + std::string(c.enabled) + "\n")) << result.output;
        EXPECT_TRUE(has(result.output, "logging=" + std::string(c.variableAfter) + "\n")) << result.output;
        std::string file = read(logFile);
        EXPECT_FALSE(has(file, "Log started on"));
        EXPECT_EQ(has(file, "Log ended on"), c.footer);
        EXPECT_TRUE(has(file, " USERALERT: user\n"));
    }
}

TEST_F(LogHost, OptionAnywhereInTheCommandLine) {
    struct Case {
        std::vector<std::string> arguments;
        const char* enabled;
        const char* variable;
    };
    const Case cases[] = {
        {{"x-logging:3"}, "11111111", "00000003"},
        {{"/LOGGING:0x10107"}, "01111111", "00010107"},
        {{"-logging:0"}, "00000011", "00000000"},
        {{"-logging:900"}, "00000000", "00000900"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        for (const char* command : {"clog-enabled", "env", "logging"})
            arguments.push_back(command);
        auto result = run(arguments);
        EXPECT_EQ(result.output, "enabled=" + std::string(c.enabled) + "\nlogging=" + c.variable + "\n")
            << c.arguments[0];
    }
}

TEST_F(LogHost, OptionUnderADebugger) {
    if (kWindows)
        GTEST_SKIP() << "no debugger to attach under Wine here";
    // gdb runs the host as a real debugger would: TracerPid is set.
    auto result = platform::runProcess(
        "/usr/bin/gdb",
        {"-nx", "-batch", "-ex", "run", "--args", host, "/Logging:0x305", "clog-enabled", "env", "logging"},
        environment, 60000);
    ASSERT_TRUE(result.finished);
    EXPECT_TRUE(has(result.output, "enabled=01111111\n")) << result.output << result.errors;
    EXPECT_TRUE(has(result.output, "logging=00000107\n")) << result.output;

    auto plain = platform::runProcess(
        "/usr/bin/gdb", {"-nx", "-batch", "-ex", "run", "--args", host, "get-log", "env", "logging"},
        environment, 60000);
    EXPECT_TRUE(has(plain.output, "logging=00000102\n")) << plain.output << plain.errors;
}

TEST_F(LogHost, HeaderShowsTheProcessIdAndCurrentFolderOfTheHost) {
    auto result = run({"chdir", folder.path(), "process", "-logging:1", "get-log"});
    std::smatch printed;
    ASSERT_TRUE(std::regex_match(result.output, printed, std::regex(R"(pid=(\d+)\ncwd=\[(.*)\]\n)")))
        << result.output;
    const unsigned long pid = std::stoul(printed[1]);
    const std::string cwd = printed[2];
    EXPECT_TRUE(std::filesystem::equivalent(cwd, folder.path())) << cwd;

    std::string file = read(logFile);
    std::smatch header;
    ASSERT_TRUE(std::regex_search(file, header,
                                  std::regex(R"(\nProcess ID:           0x([0-9a-f]+)\n[^\n]*\n)"
                                             R"(Current directory is: '([^\n]*)'\n)")))
        << file;
    EXPECT_EQ(std::stoul(header[1], nullptr, 16), pid) << header[1];
    std::ostringstream hex;
    hex << std::hex << pid;
    EXPECT_EQ(header[1], hex.str()) << "lower-case hexadecimal without leading zeros";
    EXPECT_EQ(header[2], cwd);
}

TEST_F(LogHost, FirstCallOfTheModuleIsCsGetLog) {
    auto result = run({"-logging:2", "get-log", "read", folder.file("out")});
    std::string pipeline = read(folder.file("out"));
    EXPECT_TRUE(std::regex_match(
        pipeline, std::regex(R"(\*\*\* Pelmora Console started at [^\n]+\n\n)" + kHeaderPattern)))
        << pipeline;
}

TEST_F(LogHost, ThreadsAskingFirstCreateOneLog) {
    auto result = run({"-logging:1", "threads-get-log", "8"});
    EXPECT_EQ(result.output, "same log=1\n");
    std::string file = read(logFile);
    EXPECT_EQ(occurrences(file, "Log started on"), 1);
    EXPECT_EQ(occurrences(file, "Log ended on"), 1);
}

TEST_F(LogHost, DeadReferenceFromAnExitFunction) {
    if (kWindows)
        GTEST_SKIP() << "an executable's exit functions run before its DLLs unload on Windows";
    // The probe is registered before the log exists, so it runs after the log was destroyed.
    auto result = run({"exit-probe", "-logging:1", "get-log"});
    EXPECT_EQ(result.output, "exit-probe: Dead Reference Detected\n");
    EXPECT_EQ(occurrences(read(logFile), "Log ended on"), 1);
}

TEST_F(LogHost, EachSinkByItsBit) {
    struct Case {
        const char* option;
        bool inFile;
        bool inPipeline;
    };
    for (const Case& c : {Case{"-logging:1", true, false}, Case{"-logging:2", false, true},
                          Case{"-logging:3", true, true}, Case{"-logging:8", false, false}}) {
        SCOPED_TRACE(c.option);
        platform::deleteFile(logFile);
        run({c.option, "clog", "0", "the message", "read", folder.file("out")});
        EXPECT_EQ(has(read(logFile), " INFO: the message\n"), c.inFile);
        EXPECT_EQ(has(read(folder.file("out")), " INFO: the message\n"), c.inPipeline);
    }
}

TEST_F(LogHost, UserAlertsWithoutACallbackGoToTheUser) {
    if (kWindows)
        GTEST_SKIP() << "on Windows they are message boxes";
    auto result = run({"-logging:0", "clog", "6", "look here", "clog", "4", "fatal goes nowhere", "clog", "7",
                       "act now\\n"});
    EXPECT_EQ(result.errors, "USERALERT: look here\nUSERINTERVENTION: act now\n");
}

TEST_F(LogHost, CallbackTakesWhatItAccepts) {
    auto result = run({"-logging:8", "callback", "26", "clog", "2", "warned", "clog", "3", "not taken",
                       "clog", "6", "alerted"});
    EXPECT_TRUE(std::regex_match(
        result.output, std::regex(R"(callback 2 \[\d\d:\d\d:\d\d:\d\d\d WARNING: warned\\n\]\n)"
                                  R"(callback 6 \[\d\d:\d\d:\d\d:\d\d\d USERALERT: alerted\\n\]\n)")))
        << result.output;
    EXPECT_EQ(result.errors, "") << "an alert the callback took shows nothing";
}

TEST_F(LogHost, FailingCallbackIsDroppedAfterOneCallAndLoggingGoesOn) {
    // Only Windows turns a fault into something a guard can catch; C++ exceptions are caught everywhere.
    std::vector<std::string> failures = {"callback-throw"};
    if (kWindows)
        failures.push_back("callback-fault");
    for (const std::string& failure : failures) {
        SCOPED_TRACE(failure);
        platform::deleteFile(logFile);
        auto result = run({"-logging:9", failure, "clog", "2", "one", "clog", "2", "two"});
        EXPECT_EQ(result.output, failure + " called\n");
        std::string file = read(logFile);
        EXPECT_TRUE(has(file, " WARNING: one\n") && has(file, " WARNING: two\n"));
    }
}

TEST_F(LogHost, CallbackThatHandlesAFaultOfItsOwnKeepsGettingMessages) {
    if (!kWindows)
        GTEST_SKIP() << "structured exceptions are Windows'";
    // The control: IsBadReadPtr alone, with no guard around it. Where it cannot handle its own fault (32-bit
    // Wine under QEMU's user-mode emulator, which does not hand the fault to Wine's handlers: the process
    // dies), what the guard does with such a fault cannot be seen.
    const platform::ProcessResult control =
        platform::runProcess(host, {"probe-bad-read"}, environment, testing_support::kHostBound);
    if (!control.finished || control.exitCode != 0 ||
        withoutCarriageReturns(control.output) != "probe-bad-read bad=1\n")
        GTEST_SKIP()
            << "a system function cannot handle a fault of its own here: IsBadReadPtr alone ended with 0x"
            << std::hex << static_cast<unsigned>(control.exitCode) << ", printing '" << control.output << "'";
    // IsBadReadPtr raises an access fault and handles it itself: the guard around the callback must not
    // take it. A fault that escapes the callback still drops it after that one call.
    auto result = run({"-logging:8", "callback-probe", "clog", "2", "one", "clog", "2", "two",
                       "callback-fault", "clog", "2", "three", "clog", "2", "four"});
    EXPECT_TRUE(std::regex_match(
        result.output, std::regex(R"(callback-probe bad=1 \[\d\d:\d\d:\d\d:\d\d\d WARNING: one\\n\]\n)"
                                  R"(callback-probe bad=1 \[\d\d:\d\d:\d\d:\d\d\d WARNING: two\\n\]\n)"
                                  R"(callback-fault called\n)")))
        << result.output;
}

TEST_F(LogHost, TextWithANulEndsThereInEverySinkAndTheNextLineIsStamped) {
    auto result = run({"-logging:3", "callback", "2", "clog-twin", "2", "before\\0after", "simple", "next\\n",
                       "read", folder.file("out")});
    EXPECT_TRUE(std::regex_match(result.output,
                                 std::regex(R"(callback 2 \[\d\d:\d\d:\d\d:\d\d\d WARNING: before\\n\]\n)")))
        << result.output;
    std::string file = read(logFile);
    EXPECT_TRUE(
        std::regex_search(file, std::regex(R"(\n\d\d:\d\d:\d\d:\d\d\d WARNING: before\n\nLog ended)")))
        << file;
    std::string pipeline = read(folder.file("out"));
    EXPECT_TRUE(std::regex_search(
        pipeline, std::regex(R"(\n\d\d:\d\d:\d\d:\d\d\d WARNING: before\n\d\d:\d\d:\d\d - next\n$)")))
        << pipeline;
    for (const std::string* text : {&file, &pipeline})
        EXPECT_EQ(text->find('\0'), std::string::npos);
}

TEST_F(LogHost, ExitWhileAnotherThreadLogsEndsWithAWholeFooter) {
    // The host holds a lock of its own around each message; exit() from the main thread does not take it.
    // On Linux the thread runs on while exit() runs the exit list: the footer waits for its message. A
    // Windows process exit stops the thread first, most likely inside a message, whose locks and system
    // calls may be left half done: then no footer is written, but nothing breaks either.
    const std::regex line(R"(\d\d:\d\d:\d\d:\d\d\d INFO: line (\d+) of the logging thread)");
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        platform::deleteFile(logFile);
        run({"-logging:1", "get-log", "exit-while-logging", "30"});
        std::string file = read(logFile);
        std::smatch header, footer;
        ASSERT_TRUE(std::regex_search(file, header, std::regex("^" + kHeaderPattern))) << file;
        const bool hasFooter = std::regex_search(file, footer, std::regex(kFooterPattern + "$"));
        if (!kWindows) {
            ASSERT_TRUE(hasFooter) << file;
        }
        const auto begin = static_cast<std::size_t>(header.length(0));
        const std::size_t end = hasFooter ? static_cast<std::size_t>(footer.position(0)) : file.size();
        ASSERT_LE(begin, end) << file;
        // Between them only whole lines of the thread, each once and in order.
        std::istringstream lines(file.substr(begin, end - begin));
        std::string text;
        int expected = 0;
        while (std::getline(lines, text)) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(text, match, line)) << "broken line: " << text;
            EXPECT_EQ(std::stoi(match[1]), expected++);
        }
        EXPECT_TRUE(file.empty() || file.back() == '\n') << "the last line is whole";
    }
}

TEST_F(LogHost, ErrorsBecomeTheThreadsComErrorInformation) {
    if (!kWindows)
        GTEST_SKIP() << "COM error information is Windows'";
    auto result = run({"-logging:4", "get-log", "com-error", "clog", "3", "first error", "clog", "2",
                       "a warning", "com-error", "clog", "4", "fatal", "com-error"});
    std::regex expected(R"(comerror=\[\*{75}\\nLog started on [^\]]*\]\n)"
                        R"(comerror=\[\d\d:\d\d:\d\d:\d\d\d ERROR: first error\\n\]\n)"
                        R"(comerror=\[\d\d:\d\d:\d\d:\d\d\d FATAL: fatal\\n\]\n)");
    EXPECT_TRUE(std::regex_match(result.output, expected)) << result.output;
}

TEST_F(LogHost, ExecutablePathTooLongForTheSuffixTurnsFileOutputOff) {
    if (!kWindows)
        GTEST_SKIP() << "Linux paths may be 4,095 characters: the rule is covered by the LoggingWord tests";
    // An executable path of 257 characters fits the 260-character buffer, but not with ".log".
    std::string prefix = platform::joinPath(folder.path(), "");
    std::string name = "console_host.exe";
    std::string sub(257 - prefix.size() - name.size() - 1, 'd');
    std::filesystem::create_directory(prefix + sub);
    std::string longHost = platform::joinPath(prefix + sub, name);
    ASSERT_EQ(longHost.size(), 257u);
    std::filesystem::copy_file(host, longHost);
    auto result = platform::runProcess(longHost, {"-logging:1", "clog-file", "clog", "2", "x"}, environment,
                                       testing_support::kHostBound);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(withoutCarriageReturns(result.output), "tofile=0 logfile=\n");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(prefix + sub))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1) << "no log file, not even under a cut name";
}

TEST(LogUnload, FooterAtEveryUnload) {
    TemporaryFolder folder;
    // The copy's log file is its own; the copy takes its runtime along, as a host does.
    const std::string host = testing_support::copyProgramWithItsRuntime(
        testing_support::helperProgram("console_unload_host"), folder.path());
    std::string bin = platform::parentDirectory(platform::executablePath());
    auto result =
        platform::runProcess(host, {"-logging:1", bin},
                             {{"KITBAG_SETTINGS", folder.file("settings.ini")}, {"logging", std::nullopt}});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    std::string file = testing_support::readFile(host + ".log");
    // Windows removes the option from the process command line, so later loads inherit the word through
    // the variable and write no header; on Linux each load finds the option in its own copy again.
    const int headers = kWindows ? 1 : 3;
    EXPECT_EQ(occurrences(file, "Log started on"), headers);
    EXPECT_EQ(occurrences(file, "Log ended on"), headers) << "every log's footer is written at its unload";
    EXPECT_TRUE(std::regex_search(file, std::regex(kFooterPattern + "$")));
}

// A crash of the host: Console's log file and CLog's file, both on, get the line naming the crash last;
// the process ends as it does with the handling switched off.
TEST_F(LogHost, ACrashAddsTheCrashLineToTheLogFileAndCLogsFile) {
    const std::string pipelineFile = folder.file("console.log");
    testing_support::writeFile(folder.file("settings.ini"),
                               "[Debug]\nEnableLogToFile=1\nLogFile=" + pipelineFile + "\n");
    const std::vector<std::string> arguments = {
        "-logging:3", "clog", "2", "before the crash", "simple", "pipeline line\\n", "crash", "segv"};
    auto runCrash = [&](bool handling) {
        platform::EnvironmentChanges changes = environment;
        changes.push_back({"PELMORA_CRASH_HANDLING", handling ? std::optional<std::string>() : "0"});
        platform::ProcessResult result =
            platform::runProcess(host, arguments, changes, testing_support::kHostBound);
        EXPECT_TRUE(result.finished) << "the host hung";
        return result.exitCode;
    };
    const int withoutHandling = runCrash(false);
    EXPECT_EQ(occurrences(read(logFile), "Crash: "), 0) << "switched off";
    std::filesystem::remove(logFile);
    std::filesystem::remove(pipelineFile);

    EXPECT_EQ(runCrash(true), withoutHandling);
    EXPECT_NE(withoutHandling, 0);
    // On Windows the line names the exception the system raised, whose code the host ends with: an access
    // violation (32-bit Wine on a kernel that does not hand it the fault's trap number raises an illegal
    // instruction instead).
    char windowsCode[16];
    std::snprintf(windowsCode, sizeof windowsCode, "0x%08X", static_cast<unsigned>(withoutHandling));
    const std::string crashLine =
        kWindows ? std::string(R"(\d\d:\d\d:\d\d - Crash: exception )") + windowsCode +
                       (withoutHandling == static_cast<int>(0xC0000005u) ? R"( \(access violation\))" : "") +
                       R"([^\n]*\n$)"
                 : R"(\d\d:\d\d:\d\d - Crash: signal 11 \(SIGSEGV\)[^\n]*\n$)";
    for (const std::string& file : {logFile, pipelineFile}) {
        const std::string text = withoutCarriageReturns(read(file));
        EXPECT_TRUE(std::regex_search(text, std::regex(crashLine))) << file << ":\n" << text;
        EXPECT_EQ(occurrences(text, "Crash: "), 1) << file;
    }
    EXPECT_TRUE(has(read(logFile), "WARNING: before the crash\n"));
    EXPECT_TRUE(has(read(pipelineFile), "pipeline line\n"));
}

} // namespace
