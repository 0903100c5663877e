// Trace as host processes use it: linked by name, loaded by ordinal, and unloaded or exited with thousands
// of messages queued. Each case runs a fresh copy of the host in a folder of its own, since Trace puts its
// files beside the executable.
#include "child_process.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testing_support::TemporaryFolder;

const bool kWindows = platform::pathSeparator() == '\\';
const std::string kTimePrefix = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d - )";

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

    platform::ProcessResult run(const std::string& program, const std::vector<std::string>& arguments) {
        platform::ProcessResult result = platform::runProcess(program, arguments, environment, 120000);
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
    // Windows kills the print thread before the library unloads; the line it was writing may come out a
    // second time when the run-time library flushes its streams at exit. Nothing is lost.
    expectEveryMessage(filesStartingWith("output.txt"), "plain", 20000, !kWindows);
    expectEveryMessage(filesStartingWith("Exit"), "level", 20000, !kWindows);
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
