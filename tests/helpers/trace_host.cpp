// A host of Trace, linked to it by name (through the import library on Windows), for the tests. Runs the
// commands of its command line in order; they are the table kCommands below, each with its arguments and
// what it does. "trace_host help" prints them; an unknown command or a missing argument prints them too,
// on standard error, and ends the host with exit code 2. The process then ends without stopping the print
// thread unless told to.
#include "Trace.h"
#include "command_table.h"
#include "crash_ways.h"
#include "trace_workload.h"

#include "host_process.h"
#include "memory_limit.h"

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using trace_workload::flood;

void twoWriters(int lines) {
    TraceSetConsole(true);
    TraceSetTimeStamp(false);
    auto writer = [lines](char letter) {
        const std::string line = std::string(9000, letter) + "\n";
        for (int i = 0; i < lines; ++i)
            TracePrint("%s", line.c_str());
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
}

void traceBigBlock(int megabytes) {
    const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
    // Zeroed pages that are never touched cost no memory: only the limit sees the block.
    auto* block = static_cast<unsigned char*>(std::calloc(size, 1));
    if (!block) {
        std::printf("no block\n");
        return;
    }
    for (std::size_t i = 0; i < 4096 && i < size; ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    TraceSetConsole(true);
    TraceSetTimeStamp(false);
    std::printf("[plain]");
    const int plain = TraceBinData(block, static_cast<int>(size));
    std::printf("[/plain]\nbindata=%d\n", plain);
    TraceSetLevelOutput(true, false, true);
    TraceSetLevel(0);
    std::printf("levelbindata=%d\n[level]", TraceLevelBinData(0, 1, block, static_cast<int>(size)));
    TraceStart();
    TraceStop();
    std::printf("[/level]\n");
    std::free(block);
}

// A child made by fork() that has not ended by then hangs.
constexpr unsigned kChildLimitMilliseconds = 30000;

void consoleEvents() {
    std::printf("open=%d\n", TraceOpenConsole());
#if !defined(_WIN32)
    for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
        std::raise(signal);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
#endif
    std::printf("close=%d\n", TraceCloseConsole());
}

void consolePrint(const char* text) {
    std::printf("open=%d\n", TraceOpenConsole());
    TraceSetConsole(true);
    TracePrint("%s\n", text);
    std::printf("close=%d\n", TraceCloseConsole());
}

void forkTrace(int count) {
    std::printf("fork-trace=%d\n", RunInForkedChild(
                                       [count] {
                                           TraceStop();
                                           TraceStart();
                                           flood(count, "child", "childlevel", 100);
                                           TraceStop();
                                           return 0;
                                       },
                                       kChildLimitMilliseconds));
}

void forkConsoleEvents() {
    std::printf("open=%d\n", TraceOpenConsole());
    std::printf("fork-events=%d\n", RunInForkedChild(
                                        [] {
                                            std::raise(SIGINT);
                                            return 0;
                                        },
                                        kChildLimitMilliseconds));
    std::raise(SIGINT); // traced before the process ends
}

void printTime() {
    char time[20];
    TraceGetTime(time);
    TraceGetTime(nullptr);
    std::printf("time=%s\n", time);
}

void crash(const std::string& way) {
    if (!IsCrashWay(way)) {
        std::fprintf(stderr, "unknown crash %s\n", way.c_str());
        std::exit(2);
    }
    CrashBy(way);
}

// ---- The commands ------------------------------------------------------------------------------------

using host_commands::Arguments;
using Command = host_commands::Command<void>;

int number(const std::string& text) {
    return std::atoi(text.c_str());
}

// clang-format off
const Command kCommands[] = {
    {"setup", "PREFIX", "trace files \"<this folder>PREFIX...\", size rotation, level 255, leveled trace to "
                        "files only, console off, output file \"output.txt\" beside this program",
     [](const Arguments& a) { trace_workload::setup(a[0].c_str()); }},
    {"start", "", "TraceStart, printing its result", [](const Arguments&) { std::printf("start=%d\n", TraceStart()); }},
    {"stop", "", "TraceStop, printing its result", [](const Arguments&) { std::printf("stop=%d\n", TraceStop()); }},
    {"flood", "N", "4 threads write N plain and N leveled messages in all (\"plain T I\", \"level T I\")",
     [](const Arguments& a) { flood(number(a[0])); }},
    {"print", "TEXT", "TracePrint(\"%s\", TEXT), printing its result",
     [](const Arguments& a) { std::printf("print=%d\n", TracePrint("%s", a[0].c_str())); }},
    {"console-events", "", "TraceOpenConsole, then the process sends itself SIGINT, SIGHUP, SIGTERM (Linux)",
     [](const Arguments&) { consoleEvents(); }},
    {"console-print", "TEXT", "TraceOpenConsole, console output on, TracePrint(\"%s\\n\", TEXT), TraceCloseConsole",
     [](const Arguments& a) { consolePrint(a[0].c_str()); }},
    {"two-writers", "N", "console on, no time stamps, no print thread: two threads each print N lines of 9,000 "
                         "letters (\"a...\" and \"b...\") straight to standard output",
     [](const Arguments& a) { twoWriters(number(a[0])); }},
    {"console", "", "console output on", [](const Arguments&) { TraceSetConsole(true); }},
    {"unread-stdout", "", "standard output becomes a pipe nobody reads (writes to it block once it is full)",
     [](const Arguments&) { std::fprintf(stderr, "unread-stdout=%d\n", RedirectStandardOutputToUnreadPipe()); }},
    {"fork-exit", "", "a child made by fork() ends at once; prints its exit code (-1: it hung and was killed)",
     [](const Arguments&) {
         std::printf("fork-exit=%d\n", RunInForkedChild([] { return 0; }, kChildLimitMilliseconds));
     }},
    {"fork-trace", "N", "a child made by fork() stops and starts the print thread, 4 threads write N plain and N "
                        "leveled messages in all (\"child T I\", \"childlevel T I\", ids 100 to 103), and stops; "
                        "prints its exit code",
     [](const Arguments& a) { forkTrace(number(a[0])); }},
    {"fork-console-events", "", "TraceOpenConsole, then a child made by fork() sends itself SIGINT (printing its "
                                "exit code); the process sends itself SIGINT and ends with the console attached",
     [](const Arguments&) { forkConsoleEvents(); }},
    {"limit-memory", "MB", "lets the process take at most about MB more megabytes, printing whether that holds",
     [](const Arguments& a) {
         std::printf("limit=%d\n", LimitFurtherMemory(static_cast<std::size_t>(number(a[0])) << 20));
     }},
    {"bindata-big", "MB", "a block of MB megabytes (bytes i * 7 in its first 4 KB, zeros behind) traced without "
                          "time stamps, console on and no print thread: TraceBinData between the lines "
                          "\"[plain]\" and \"[/plain]\", then TraceLevelBinData (level 0, id 1, to the console "
                          "only) and a start and stop of the print thread between \"[level]\" and \"[/level]\"",
     [](const Arguments& a) { traceBigBlock(number(a[0])); }},
    {"get-time", "", "prints TraceGetTime's text", [](const Arguments&) { printTime(); }},
    {"crash", "WAY", "the process crashes: segv, ill, fpe, abort, throw or stack-overflow (a fault nothing handles)",
     [](const Arguments& a) { crash(a[0]); }},
    {"own-fault-handler", "", "installs the host's own fault handler, which writes \"own fault handler\" to "
                              "standard error and ends the process with exit code 42",
     [](const Arguments&) { InstallOwnFaultHandler(); }},
};
// clang-format on

const host_commands::CommandTable kTable("trace_host COMMAND [ARGUMENTS] [COMMAND [ARGUMENTS]]...",
                                         kCommands);

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const Arguments args(argv + 1, argv + argc);
    if (kTable.AnsweredHelp(args))
        return 0;
    Arguments taken;
    for (std::size_t next = 0; next < args.size();)
        kTable.Take(args, next, taken).run(taken);
    return 0;
}
