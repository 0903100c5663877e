// A host of Trace, linked to it by name (through the import library on Windows), for the tests. Runs the
// commands of its command line in order:
//   setup PREFIX        trace files "<this folder>PREFIX...", size rotation, level 255, leveled trace to
//                       files only, console off, output file "output.txt" beside this program
//   start | stop        TraceStart | TraceStop, printing their results
//   flood N             4 threads write N plain and N leveled messages in all ("plain T I", "level T I")
//   print TEXT          TracePrint("%s", TEXT), printing its result
//   console-events      TraceOpenConsole, then the process sends itself SIGINT, SIGHUP, SIGTERM (Linux)
//   console-print TEXT  TraceOpenConsole, console output on, TracePrint("%s\n", TEXT), TraceCloseConsole
//   console             console output on
//   get-time            prints TraceGetTime's text
//   two-writers N       console on, no time stamps, no print thread: two threads each print N lines of
//                       9,000 letters ("a..." and "b...") straight to standard output
//   unread-stdout       standard output becomes a pipe nobody reads (writes to it block once it is full)
//   fork-exit           a child made by fork() ends at once; prints its exit code (-1: it hung and was
//   killed) fork-trace N        a child made by fork() stops and starts the print thread, 4 threads write N
//   plain
//                       and N leveled messages in all ("child T I", "childlevel T I", ids 100 to 103), and
//                       stops; prints its exit code
//   fork-console-events TraceOpenConsole, then a child made by fork() sends itself SIGINT (printing its exit
//                       code); the process sends itself SIGINT and ends with the console attached
//   limit-memory MB     lets the process take at most about MB more megabytes, printing whether that holds
//   bindata-big MB      a block of MB megabytes (bytes i * 7 in its first 4 KB, zeros behind) traced without
//                       time stamps, console on and no print thread: TraceBinData between the lines
//                       "[plain]" and "[/plain]", then TraceLevelBinData (level 0, id 1, to the console only)
//                       and a start and stop of the print thread between "[level]" and "[/level]"
// The process then ends without stopping the print thread unless told to.
#include "Trace.h"

#include "host_process.h"
#include "memory_limit.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// 4 threads write count plain and count leveled messages in all ("<plain> T I", "<level> T I"), the
// leveled ones to the ids firstId to firstId + 3.
void flood(int count, const char* plain = "plain", const char* level = "level", int firstId = 0) {
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([=] {
            for (int i = t; i < count; i += kThreads) {
                TracePrint("%s %d %d\n", plain, t, i);
                TraceLevelPrint(1, firstId + t, "%s %d %d\n", level, t, i);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
}

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

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 1; i < argc; ++i) {
        std::string command = argv[i];
        if (command == "setup" && i + 1 < argc) {
            TraceSetLogFile(argv[++i], true, TRACE_ROTATE_SIZE, 100000000);
            TraceSetLevelOutput(true, true, false);
            TraceSetLevel(255);
            TraceSetConsole(false);
            TraceSetFile(true, "output.txt", true);
        } else if (command == "start") {
            std::printf("start=%d\n", TraceStart());
        } else if (command == "stop") {
            std::printf("stop=%d\n", TraceStop());
        } else if (command == "flood" && i + 1 < argc) {
            flood(std::atoi(argv[++i]));
        } else if (command == "print" && i + 1 < argc) {
            std::printf("print=%d\n", TracePrint("%s", argv[++i]));
        } else if (command == "console-events") {
            std::printf("open=%d\n", TraceOpenConsole());
#if !defined(_WIN32)
            for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
                std::raise(signal);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
#endif
            std::printf("close=%d\n", TraceCloseConsole());
        } else if (command == "console-print" && i + 1 < argc) {
            std::printf("open=%d\n", TraceOpenConsole());
            TraceSetConsole(true);
            TracePrint("%s\n", argv[++i]);
            std::printf("close=%d\n", TraceCloseConsole());
        } else if (command == "two-writers" && i + 1 < argc) {
            twoWriters(std::atoi(argv[++i]));
        } else if (command == "console") {
            TraceSetConsole(true);
        } else if (command == "unread-stdout") {
            std::fprintf(stderr, "unread-stdout=%d\n", RedirectStandardOutputToUnreadPipe());
        } else if (command == "fork-exit") {
            std::printf("fork-exit=%d\n", RunInForkedChild([] { return 0; }, kChildLimitMilliseconds));
        } else if (command == "fork-trace" && i + 1 < argc) {
            const int count = std::atoi(argv[++i]);
            std::printf("fork-trace=%d\n", RunInForkedChild(
                                               [count] {
                                                   TraceStop();
                                                   TraceStart();
                                                   flood(count, "child", "childlevel", 100);
                                                   TraceStop();
                                                   return 0;
                                               },
                                               kChildLimitMilliseconds));
        } else if (command == "fork-console-events") {
            std::printf("open=%d\n", TraceOpenConsole());
            std::printf("fork-events=%d\n", RunInForkedChild(
                                                [] {
                                                    std::raise(SIGINT);
                                                    return 0;
                                                },
                                                kChildLimitMilliseconds));
            std::raise(SIGINT); // traced before the process ends
        } else if (command == "limit-memory" && i + 1 < argc) {
            std::printf("limit=%d\n",
                        LimitFurtherMemory(static_cast<std::size_t>(std::atoi(argv[++i])) << 20));
        } else if (command == "bindata-big" && i + 1 < argc) {
            traceBigBlock(std::atoi(argv[++i]));
        } else if (command == "get-time") {
            char time[20];
            TraceGetTime(time);
            TraceGetTime(nullptr);
            std::printf("time=%s\n", time);
        } else {
            std::fprintf(stderr, "unknown command %s\n", command.c_str());
            return 2;
        }
    }
    return 0;
}
