// Trace at a crash of its host: what was traced is in the files, each line once and in order, the crash's
// line last, and the process ends as it would have without Trace. Each case runs fresh hosts in a folder
// of their own (Trace puts its files beside the executable); the same host run with the crash handling
// switched off tells how the process ends without it.
#include "child_process.h"
#include "platform.h"
#include "test_support.h"
#include "traced_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::kWindows;
using testing_support::TemporaryFolder;
using traced_lines::kTimePrefix;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

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

constexpr const char* kSwitch = "PELMORA_CRASH_HANDLING";
constexpr int kOwnHandlerExitCode = 42;
// Far beyond the crash handling's own bound (10 seconds): a host still running then hangs.
constexpr unsigned kHostLimitMilliseconds = 120000;
// A control run without the handling: a crash that the system ends, ends at once.
constexpr unsigned kControlLimitMilliseconds = 30000;

struct CrashWay {
    const char* way;
    // How the crash line names it (a pattern): by its signal on Linux, by its exception (or the C
    // runtime's abort) on Windows.
    const char* linuxName;
    const char* windowsName;
};

// "Crash: signal 11 (SIGSEGV), fault address 0x..., thread N" on Linux; "Crash: exception 0xC0000005
// (access violation) at 0x... (trace_host.exe+0x...), fault address 0x..., thread N" on Windows.
// systemCode: on Windows the exception code the system itself ends such a crash with (0: the way's own).
// The line names the exception the system raised: 32-bit Wine on a kernel that does not hand it the
// fault's trap number raises an illegal instruction for the page fault and a floating-point fault for the
// division by zero, and the line must then say so.
std::string crashLinePattern(const CrashWay& way, unsigned systemCode = 0) {
    std::string name = kWindows ? way.windowsName : way.linuxName;
    if (kWindows && systemCode != 0 && name.rfind("exception 0x", 0) == 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", systemCode);
        if (name.find(code) == std::string::npos)
            name = std::string("exception ") + code + R"( \([^)]*\))";
    }
    return kTimePrefix + "Crash: " + name + R"(.*, thread \d+)";
}

const CrashWay kSegv{
    "segv", R"(signal 11 \(SIGSEGV\), fault address 0x0*10)",
    R"(exception 0xC0000005 \(access violation\) at 0x[0-9a-f]+ \(trace\w*_host\.exe\+0x[0-9a-f]+\), fault address 0x0*10)"};
const CrashWay kCrashWays[] = {
    kSegv,
    {"ill", R"(signal 4 \(SIGILL\))", R"(exception 0xC000001D \(illegal instruction\))"},
    {"fpe", R"(signal 8 \(SIGFPE\))", R"(exception 0xC0000094 \(integer divide by zero\))"},
    {"abort", R"(signal 6 \(SIGABRT\))", R"(abort \(SIGABRT\))"},
    {"throw", R"(signal 6 \(SIGABRT\))", R"(abort \(SIGABRT\))"},
    {"stack-overflow", R"(signal 11 \(SIGSEGV\))", R"(exception 0xC00000FD \(stack overflow\))"},
};

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The lines "<kind> T I" of a file: each (T, I) once, each thread's in order, count in all.
void expectEachOnceInOrder(const std::vector<std::string>& lines, const std::string& kind, int count,
                           const std::string& file) {
    const std::regex pattern("^" + kTimePrefix + kind + R"( (\d+) (\d+)$)");
    std::vector<int> lastOfThread(4, -1);
    std::vector<bool> seen(static_cast<std::size_t>(count), false);
    int found = 0;
    for (const std::string& line : lines) {
        std::smatch match;
        if (!std::regex_match(line, match, pattern))
            continue;
        const int thread = std::stoi(match[1]);
        const int index = std::stoi(match[2]);
        ASSERT_TRUE(thread >= 0 && thread < 4 && index >= 0 && index < count) << file << ": " << line;
        EXPECT_FALSE(seen[static_cast<std::size_t>(index)]) << file << ": twice: " << line;
        EXPECT_GT(index, lastOfThread[static_cast<std::size_t>(thread)])
            << file << ": out of order: " << line;
        seen[static_cast<std::size_t>(index)] = true;
        lastOfThread[static_cast<std::size_t>(thread)] = index;
        ++found;
    }
    EXPECT_EQ(found, count) << file << ": " << kind << " lines";
}

class TraceCrash : public ::testing::Test {
protected:
    std::string bin = platform::parentDirectory(platform::executablePath());

    platform::EnvironmentChanges environment(bool crashHandling) const {
        platform::EnvironmentChanges changes;
        if (kWindows)
            changes.push_back({"PATH", bin + ";" + platform::environmentVariable("PATH").value_or("")});
        changes.push_back({kSwitch, crashHandling ? std::optional<std::string>() : std::string("0")});
        // The crash handling allocates where it must (a trace file first opened by the drain), bounded by its
        // limit like every wait there: ThreadSanitizer would end the host at its report of that.
        if (kThreadSanitizer) {
            const std::string options = platform::environmentVariable("TSAN_OPTIONS").value_or("");
            changes.push_back(
                {"TSAN_OPTIONS", options + (options.empty() ? "" : ":") + "report_signal_unsafe=0"});
        }
        return changes;
    }

    // A fresh copy of the helper in the folder, run to its end or to the limit.
    platform::ProcessResult runUnchecked(const TemporaryFolder& folder, const std::string& helper,
                                         const std::vector<std::string>& arguments, bool crashHandling,
                                         unsigned limitMilliseconds = kControlLimitMilliseconds) {
        const std::string copy = folder.file(kWindows ? helper + ".exe" : helper);
        if (!fs::exists(copy))
            fs::copy_file(testing_support::helperProgram(helper), copy);
        return platform::runProcess(copy, arguments, environment(crashHandling), limitMilliseconds);
    }

    // The exit code a plain segv of trace_host ends with when the system handles it alone (on Windows
    // the exception's code), asked once; 0 elsewhere (the crash line there names the signal).
    unsigned systemSegvCode() {
        static const unsigned code = [this] {
            if (!kWindows)
                return 0u;
            TemporaryFolder folder;
            return static_cast<unsigned>(
                runUnchecked(folder, "trace_host", {"crash", "segv"}, false).exitCode);
        }();
        return code;
    }
    std::string segvLinePattern() { return crashLinePattern(kSegv, systemSegvCode()); }

    // The same, which must end.
    platform::ProcessResult runIn(const TemporaryFolder& folder, const std::string& helper,
                                  const std::vector<std::string>& arguments, bool crashHandling = true) {
        platform::ProcessResult result =
            runUnchecked(folder, helper, arguments, crashHandling, kHostLimitMilliseconds);
        EXPECT_TRUE(result.finished) << helper << " hung";
        return result;
    }

    // The exit code of the same crash with the crash handling switched off.
    int exitCodeWithoutHandling(const std::string& helper, const std::vector<std::string>& arguments) {
        TemporaryFolder folder;
        const platform::ProcessResult result = runIn(folder, helper, arguments, false);
        const std::string output = filesStartingWith(folder, "output.txt");
        EXPECT_EQ(output.find("Crash: "), std::string::npos) << "switched off, yet a crash line";
        return result.exitCode;
    }

    static std::string filesStartingWith(const TemporaryFolder& folder, const std::string& prefix) {
        std::string all;
        for (const std::string& file : filesOf(folder, prefix))
            all += withoutCarriageReturns(testing_support::readFile(file));
        return all;
    }

    static std::vector<std::string> filesOf(const TemporaryFolder& folder, const std::string& prefix) {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                files.push_back(entry.path().string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    // Every line of kind in the files once, in order, and each file's last line the crash line.
    void expectEveryLineThenTheCrash(const TemporaryFolder& folder, const std::string& prefix,
                                     const std::string& kind, int count, const std::string& crashLine,
                                     std::size_t filesExpected) {
        const std::vector<std::string> files = filesOf(folder, prefix);
        EXPECT_EQ(files.size(), filesExpected) << prefix;
        std::vector<std::string> all;
        for (const std::string& file : files) {
            const std::vector<std::string> lines =
                linesOf(withoutCarriageReturns(testing_support::readFile(file)));
            ASSERT_FALSE(lines.empty()) << file;
            EXPECT_TRUE(std::regex_match(lines.back(), std::regex(crashLine)))
                << file << ": " << lines.back();
            EXPECT_EQ(std::count_if(
                          lines.begin(), lines.end(),
                          [](const std::string& line) { return line.find("Crash: ") != std::string::npos; }),
                      1)
                << file;
            all.insert(all.end(), lines.begin(), lines.end());
        }
        expectEachOnceInOrder(all, kind, count, prefix);
    }
};

constexpr int kLines = 100000;

TEST_F(TraceCrash, EachWayOfCrashingKeepsEveryLineWritesTheCrashLastAndEndsAsWithoutTrace) {
    for (const CrashWay& way : kCrashWays) {
        SCOPED_TRACE(way.way);
        if (kAddressSanitizer && std::string(way.way) == "fpe") {
            std::printf(
                "[ SKIPPED  ] fpe: UndefinedBehaviorSanitizer reports the division by zero and ends the "
                "process before it faults\n");
            continue;
        }
        const std::vector<std::string> arguments = {
            "setup", "Crash", "start", "flood", std::to_string(kLines), "crash", way.way};
        // The control: the same crash without the handling. Where the system itself does not end such a
        // host (Wine 8 leaves one whose main thread overflowed its stack hanging), the way is reported
        // skipped, with the reason; it runs wherever the control ends.
        TemporaryFolder controlFolder;
        const platform::ProcessResult without = runUnchecked(controlFolder, "trace_host", arguments, false);
        if (!without.finished) {
            std::printf("[ SKIPPED  ] %s: without the crash handling the host does not end either (the "
                        "system's own handling hangs)\n",
                        way.way);
            continue;
        }
        EXPECT_EQ(filesStartingWith(controlFolder, "output.txt").find("Crash: "), std::string::npos)
            << "switched off, yet a crash line";
        TemporaryFolder folder;
        const platform::ProcessResult result = runIn(folder, "trace_host", arguments);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(result.exitCode, without.exitCode) << result.errors << "\nwithout the handling:\n"
                                                     << without.errors;
        const std::string crashLine = crashLinePattern(way, static_cast<unsigned>(without.exitCode));
        expectEveryLineThenTheCrash(folder, "output.txt", "plain", kLines, crashLine, 1);
        // The leveled lines of ids 0 to 3: one trace file each.
        expectEveryLineThenTheCrash(folder, "Crash", "level", kLines, crashLine, 4);
    }
}

TEST_F(TraceCrash, ACrashWhileTheQueuesLockIsHeldKeepsEveryLine) {
    // As a crash inside TracePrint: the crashing thread holds the lock the print thread needs next.
    const std::vector<std::string> arguments = {
        "setup", "Locked", "start", "flood", std::to_string(kLines), "queue-locked-crash", "segv"};
    TemporaryFolder folder;
    const platform::ProcessResult result = runIn(folder, "trace_crash_host", arguments);
    EXPECT_EQ(result.exitCode, exitCodeWithoutHandling("trace_crash_host", arguments)) << result.errors;
    expectEveryLineThenTheCrash(folder, "output.txt", "plain", kLines, segvLinePattern(), 1);
    expectEveryLineThenTheCrash(folder, "Locked", "level", kLines, segvLinePattern(), 4);
}

TEST_F(TraceCrash, ACrashOnThePrintThreadKeepsEveryLineAndTheOneItFaultedOn) {
    // The print thread faults writing "fault-here" to the console; the files still get that line, then the
    // crash line. The main thread sleeps meanwhile: the process ends by the fault, not by its end.
    const std::vector<std::string> arguments = {"setup", "Printer", "faulting-console", "start", "flood",
                                                "20000", "print",   "fault-here",       "wait",  "100"};
    TemporaryFolder folder;
    const platform::ProcessResult result = runIn(folder, "trace_crash_host", arguments);
    EXPECT_EQ(result.exitCode, exitCodeWithoutHandling("trace_crash_host", arguments)) << result.errors;
    EXPECT_NE(result.exitCode, 0);
    const std::vector<std::string> lines = linesOf(filesStartingWith(folder, "output.txt"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(segvLinePattern()))) << lines.back();
    EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], std::regex(kTimePrefix + "fault-here")))
        << lines[lines.size() - 2];
    expectEachOnceInOrder(lines, "plain", 20000, "output.txt");
}

TEST_F(TraceCrash, AHandlerTheHostInstalledBeforeRunsAfterTheLinesAreWritten) {
    TemporaryFolder folder;
    const platform::ProcessResult result =
        runIn(folder, "trace_dynamic_host", {bin, "own-handler-crash", "20000"});
    EXPECT_EQ(result.exitCode, kOwnHandlerExitCode) << result.errors;
    EXPECT_NE(result.errors.find("own fault handler"), std::string::npos) << result.errors;
    const std::vector<std::string> lines = linesOf(filesStartingWith(folder, "output.txt"));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(segvLinePattern()))) << lines.back();
    EXPECT_EQ(
        static_cast<int>(traced_lines::countedLines(filesStartingWith(folder, "output.txt"), "plain").size()),
        20000);
}

TEST_F(TraceCrash, AHandlerTheHostInstallsLaterTakesPrecedence) {
    TemporaryFolder folder;
    const platform::ProcessResult result =
        runIn(folder, "trace_host",
              {"setup", "Later", "start", "flood", "1000", "own-fault-handler", "crash", "segv"});
    EXPECT_EQ(result.exitCode, kOwnHandlerExitCode) << result.errors;
    EXPECT_NE(result.errors.find("own fault handler"), std::string::npos) << result.errors;
    // mingw's startup code of a Windows host calls the filter it found in place (Trace's) from its own
    // frame handler before the host's later one: there the crash line may be written as well.
    if (!kWindows) {
        EXPECT_EQ(filesStartingWith(folder, "output.txt").find("Crash: "), std::string::npos);
    }
}

TEST_F(TraceCrash, UnloadingPutsBackTheHandlerThatWasThere) {
    // Left in place, the library's handler would be called in unmapped code and the fault would end the
    // process before the host's own handler is reached.
    TemporaryFolder folder;
    const platform::ProcessResult result =
        runIn(folder, "trace_dynamic_host", {bin, "own-handler-unload-crash"});
    EXPECT_NE(result.output.find("unloaded"), std::string::npos) << result.output;
    EXPECT_EQ(result.exitCode, kOwnHandlerExitCode) << result.errors;
    EXPECT_NE(result.errors.find("own fault handler"), std::string::npos) << result.errors;
}

TEST_F(TraceCrash, ACrashWithStandardOutputBlockedEndsWithinTheBound) {
    // The print thread is stuck in a console write that never returns (a pipe nobody reads): the crash
    // waits for it only within its bound, writes the crash line to the file, and the process ends by the
    // fault. The lines in the file are whole and each there once.
    if (kThreadSanitizer)
        GTEST_SKIP() << "ThreadSanitizer's own handling of the fault flushes standard output under its lock, "
                        "which the stuck thread holds";
    const std::vector<std::string> arguments = {"setup", "Stuck", "console", "unread-stdout", "start",
                                                "flood", "20000", "crash",   "segv"};
    TemporaryFolder folder;
    const platform::ProcessResult result = runIn(folder, "trace_host", arguments);
    // The bound ends the process by the fault's own default action. Under AddressSanitizer, which handles
    // the fault itself without us (its report, exit code 1), that is the signal's default action.
    const int expected = kAddressSanitizer ? 128 + 11 : exitCodeWithoutHandling("trace_host", arguments);
    EXPECT_EQ(result.exitCode, expected) << result.errors;
    const std::string output = filesStartingWith(folder, "output.txt");
    const std::vector<std::string> lines = linesOf(output);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(segvLinePattern()))) << lines.back();
    for (const auto& [index, count] : traced_lines::countedLines(output, "plain"))
        EXPECT_EQ(count, 1) << "plain " << index;
}

TEST_F(TraceCrash, AFaultInsideTheCrashHandlingEndsTheProcessAtOnce) {
    // The host aborts; writing the queued line "fault-here" to the console then faults inside the crash
    // handling. The process ends by that second fault at once (Linux: SIGSEGV; Windows: the access
    // violation's code, as the system raises it), not by the bound, which would end it as the abort does.
    const int secondFault = kWindows ? static_cast<int>(systemSegvCode()) : 128 + 11;
    const int abortExit = kWindows ? 3 : 128 + 6;
    const std::vector<std::string> arguments = {
        "setup", "Second", "faulting-console", "level-console", "level", "fault-here", "crash", "abort"};
    TemporaryFolder folder;
    const platform::ProcessResult result = runIn(folder, "trace_crash_host", arguments);
    EXPECT_EQ(result.exitCode, secondFault) << result.errors;
    EXPECT_EQ(exitCodeWithoutHandling("trace_crash_host", arguments), abortExit);
}

} // namespace
