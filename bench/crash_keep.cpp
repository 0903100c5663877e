// Lines kept at a crash: a process traces N numbered lines into a file and crashes (a write through a null
// pointer) at once; its parent counts the lines the file holds. One child per side:
//
//     trace_crash_keep trace|spdlog [lines]
//
//  - trace: TracePrint with the print thread running and the output file on, then the crash.
//  - spdlog: an async logger (its default queue of 8192, blocking when full: nothing dropped while the
//    process lives) with a basic file sink, then the crash.
// Prints "<side>: <kept> of <lines> lines kept, crash line <yes|no>". Run from scripts/bench.sh.
#include "Trace.h"

#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr long kDefaultLines = 100000;
int* volatile nowhere = nullptr;

[[noreturn]] void crash() {
    *nowhere = 1;
    std::abort();
}

[[noreturn]] void traceThenCrash(long lines, const std::string& file) {
    TraceSetConsole(false);
    TraceSetFile(true, file.c_str(), true);
    TraceStart();
    for (long i = 0; i < lines; ++i)
        TracePrint("line %ld\n", i);
    crash();
}

[[noreturn]] void spdlogThenCrash(long lines, const std::string& file) {
    auto logger = spdlog::basic_logger_mt<spdlog::async_factory>("crash", file, true);
    logger->set_pattern("%v");
    for (long i = 0; i < lines; ++i)
        logger->info("line {}", i);
    crash();
}

std::string fileFor(const std::string& side) {
    return side == "trace" ? "crash-keep-trace.txt"
                           : "/tmp/crash-keep-spdlog-" + std::to_string(::getpid()) + ".txt";
}

// Whole lines "line I" (after any time prefix), and whether a crash line came last.
long countKept(const std::string& path, bool& crashLine) {
    std::ifstream in(path);
    long kept = 0;
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find("line ") != std::string::npos && line.find("Crash") == std::string::npos)
            ++kept;
        last = line;
    }
    crashLine = last.find("Crash: ") != std::string::npos;
    return kept;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string side = argv[1];
    const long lines = argc > 2 ? std::atol(argv[2]) : kDefaultLines;
    const std::string file = fileFor(side);
    const pid_t child = ::fork();
    if (child == 0) {
        if (side == "trace")
            traceThenCrash(lines, file);
        spdlogThenCrash(lines, file);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    bool crashLine = false;
    // Trace puts a relative output file beside the executable.
    const std::string path =
        side == "trace" ? std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1) + file : file;
    const long kept = countKept(path, crashLine);
    std::printf("%s: %ld of %ld lines kept, crash line %s (ended by signal %d)\n", side.c_str(), kept, lines,
                crashLine ? "yes" : "no", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    std::remove(path.c_str());
    return 0;
}
