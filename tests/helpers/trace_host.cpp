// A host of Trace, linked to it by name (through the import library on Windows), for the tests. Runs the
// commands of its command line in order:
//   setup PREFIX        trace files "<this folder>PREFIX...", size rotation, level 255, leveled trace to
//                       files only, console off, output file "output.txt" beside this program
//   start | stop        TraceStart | TraceStop, printing their results
//   flood N             4 threads write N plain and N leveled messages in all ("plain T I", "level T I")
//   print TEXT          TracePrint("%s", TEXT), printing its result
//   console-events      TraceOpenConsole, then the process sends itself SIGINT, SIGHUP, SIGTERM (Linux)
//   get-time            prints TraceGetTime's text
// The process then ends without stopping the print thread unless told to.
#include "Trace.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

void flood(int count) {
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, count] {
            for (int i = t; i < count; i += kThreads) {
                TracePrint("plain %d %d\n", t, i);
                TraceLevelPrint(1, t, "level %d %d\n", t, i);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
}

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
