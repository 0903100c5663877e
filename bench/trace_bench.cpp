// Trace next to spdlog's asynchronous logger doing the same work:
//  - caller cost of one TracePrint / TraceLevelPrint while the print thread runs (the print thread writes
//    a file with a flush per line), against spdlog's async logger with a queue large enough not to block;
//  - print-thread throughput: 10,000 leveled messages queued and written to a trace file with a flush per
//    line, until TraceStop returns, against an async file logger that flushes every line, until its thread
//    pool has drained.
// Files go beside this program (Trace's rule) and into BENCH_DIR. Run from scripts/bench.sh.
#include "Trace.h"

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kCallerIterations = 100000;
constexpr int kThroughputMessages = 10000;

const std::string kFolder = [] {
    const char* folder = std::getenv("BENCH_DIR");
    return std::string(folder ? folder : ".");
}();

void startTrace() {
    TraceSetConsole(false);
    TraceSetFile(true, "bench-trace-output.txt", true);
    TraceSetLogFile("BenchTrace", true, TRACE_ROTATE_SIZE, 2000000000);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(9);
    TraceStart();
}

std::shared_ptr<spdlog::async_logger> asyncFileLogger(const std::string& file, std::size_t queue,
                                                      std::shared_ptr<spdlog::details::thread_pool>& pool) {
    pool = std::make_shared<spdlog::details::thread_pool>(queue, 1);
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(kFolder + "/" + file, true);
    auto logger =
        std::make_shared<spdlog::async_logger>("bench", sink, pool, spdlog::async_overflow_policy::block);
    logger->set_pattern("%Y/%m/%d %H:%M:%S - %v");
    logger->flush_on(spdlog::level::trace);
    return logger;
}

void BM_Trace_PrintCaller(benchmark::State& state) {
    startTrace();
    int i = 0;
    for (auto _ : state)
        TracePrint("value %d of %s\n", ++i, "bench");
    TraceStop();
}

void BM_Trace_LevelPrintCaller(benchmark::State& state) {
    startTrace();
    int i = 0;
    for (auto _ : state)
        TraceLevelPrint(1, 42, "value %d of %s\n", ++i, "bench");
    TraceStop();
}

void BM_Spdlog_AsyncCaller(benchmark::State& state) {
    std::shared_ptr<spdlog::details::thread_pool> pool;
    auto logger = asyncFileLogger("bench-spdlog-async.txt", 2 * kCallerIterations, pool);
    int i = 0;
    for (auto _ : state)
        logger->info("value {} of {}", ++i, "bench");
    logger.reset();
    pool.reset(); // drains
}

void BM_Trace_PrintThreadThroughput(benchmark::State& state) {
    TraceSetConsole(false);
    TraceSetLogFile("BenchThroughput", true, TRACE_ROTATE_SIZE, 2000000000);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(9);
    for (auto _ : state) {
        TraceStart();
        for (int i = 0; i < kThroughputMessages; ++i)
            TraceLevelPrint(1, 7, "value %d of %s\n", i, "bench");
        TraceStop(); // returns when everything was written
    }
    state.SetItemsProcessed(state.iterations() * kThroughputMessages);
}

void BM_Spdlog_AsyncFileThroughput(benchmark::State& state) {
    for (auto _ : state) {
        std::shared_ptr<spdlog::details::thread_pool> pool;
        auto logger = asyncFileLogger("bench-spdlog-throughput.txt", 8192, pool);
        for (int i = 0; i < kThroughputMessages; ++i)
            logger->info("value {} of {}", i, "bench");
        logger.reset();
        pool.reset(); // returns when everything was written
    }
    state.SetItemsProcessed(state.iterations() * kThroughputMessages);
}

BENCHMARK(BM_Trace_PrintCaller)->Iterations(kCallerIterations);
BENCHMARK(BM_Trace_LevelPrintCaller)->Iterations(kCallerIterations);
BENCHMARK(BM_Spdlog_AsyncCaller)->Iterations(kCallerIterations);
BENCHMARK(BM_Trace_PrintThreadThroughput)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spdlog_AsyncFileThroughput)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
