// The memory a print thread's queue takes under a flood, next to spdlog's async logger: one side per
// process, so that what one side leaves behind does not count for the other.
//
//     trace_queue_memory trace|spdlog|spdlog-default [messages]
//
//  - trace: TraceLevelPrint queues the messages before TraceStart (leveled trace switched on queues them
//    without a thread), so all of them are in the queue at once. Then the print thread drains them, with
//    the trace files switched off so that the drain writes nothing, and TraceStop returns.
//  - spdlog: an async logger whose queue has room for every message (blocking policy: nothing is dropped,
//    nothing blocks) and whose one sink holds its thread until the flood is queued, so that all of them
//    are in the queue at once; then the sink lets go and the logger and its thread pool end.
//  - spdlog-default: the same with spdlog's default queue of 8192 messages and a sink that never waits:
//    the flood blocks instead of growing the queue.
// Each prints one line: the resident memory's peak (VmHWM) above the resident memory before the flood,
// that per message the queue held at once (all of them, or spdlog's bound), and the resident memory above
// the start after the stop and after malloc_trim. Run from scripts/bench.sh.
#include "Trace.h"

#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/sink.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr long kDefaultMessages = 200000;
constexpr std::size_t kSpdlogDefaultQueue = 8192;

struct Memory {
    long residentKiB = 0;
    long peakKiB = 0;
};

Memory readMemory() {
    Memory memory;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            memory.residentKiB = std::atol(line.c_str() + 6);
        else if (line.compare(0, 6, "VmHWM:") == 0)
            memory.peakKiB = std::atol(line.c_str() + 6);
    }
    return memory;
}

// held: how many messages the queue held at once (all of them, or its bound).
void printLine(const char* side, long messages, long held, const Memory& before, const Memory& peak,
               const Memory& stopped, const Memory& trimmed) {
    const long peakKiB = peak.peakKiB - before.residentKiB;
    std::printf("%-48s %9ld messages, %9ld held at once: peak %+8.1f MB = %5.0f B per message held; after "
                "stop %+7.1f MB, after malloc_trim %+7.1f MB\n",
                side, messages, held, static_cast<double>(peakKiB) / 1024.0,
                static_cast<double>(peakKiB) * 1024.0 / static_cast<double>(held),
                static_cast<double>(stopped.residentKiB - before.residentKiB) / 1024.0,
                static_cast<double>(trimmed.residentKiB - before.residentKiB) / 1024.0);
}

int floodTrace(long messages) {
    TraceSetConsole(false);
    TraceSetLogFile("BenchMemory", true, TRACE_ROTATE_SIZE, 2000000000);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(9);
    const Memory before = readMemory();
    for (long i = 0; i < messages; ++i)
        TraceLevelPrint(1, 7, "value %ld of %s\n", i, "bench");
    const Memory peak = readMemory();
    TraceSetLevelOutput(true, false, false); // the drain writes no file
    TraceStart();
    TraceStop();
    const Memory stopped = readMemory();
    malloc_trim(0);
    printLine("Trace, queued before TraceStart", messages, messages, before, peak, stopped, readMemory());
    return 0;
}

// Discards every message; while closed, holds the logger's thread at the first one.
class GateSink : public spdlog::sinks::sink {
public:
    explicit GateSink(bool open) : m_open(open) {}

    void Open() {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

    void log(const spdlog::details::log_msg&) override {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_opened.wait(hold, [this] { return m_open; });
    }
    void flush() override {}
    void set_pattern(const std::string&) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter>) override {}

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open;
};

int floodSpdlog(long messages, std::size_t queue, bool holdThread) {
    const Memory before = readMemory();
    Memory peak;
    {
        auto sink = std::make_shared<GateSink>(!holdThread);
        auto pool = std::make_shared<spdlog::details::thread_pool>(queue, 1);
        auto logger =
            std::make_shared<spdlog::async_logger>("bench", sink, pool, spdlog::async_overflow_policy::block);
        for (long i = 0; i < messages; ++i)
            logger->info("value {} of {}", i, "bench");
        peak = readMemory();
        sink->Open();
        logger.reset();
        pool.reset(); // drains and joins its thread
    }
    const Memory stopped = readMemory();
    malloc_trim(0);
    const std::string side =
        "spdlog async, queue of " + std::to_string(queue) + (holdThread ? ", its thread held" : ", blocking");
    printLine(side.c_str(), messages, std::min(messages, static_cast<long>(queue)), before, peak, stopped,
              readMemory());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const long messages = argc > 2 ? std::atol(argv[2]) : kDefaultMessages;
    if (argc < 2 || messages < 1) {
        std::fprintf(stderr, "usage: %s trace|spdlog|spdlog-default [messages]\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "trace") == 0)
        return floodTrace(messages);
    if (std::strcmp(argv[1], "spdlog") == 0)
        return floodSpdlog(messages, static_cast<std::size_t>(messages), true);
    if (std::strcmp(argv[1], "spdlog-default") == 0)
        return floodSpdlog(messages, kSpdlogDefaultQueue, false);
    std::fprintf(stderr, "unknown side: %s\n", argv[1]);
    return 2;
}
