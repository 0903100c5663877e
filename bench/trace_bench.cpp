// Trace next to spdlog's asynchronous logger doing the same work, and next to the system calls alone
// (names: see bench_support.h):
//  - TraceCaller: the caller cost of one TracePrint (variant Print) and one TraceLevelPrint (LevelPrint)
//    while the print thread runs and writes a file with a flush per line, against spdlog's async logger
//    writing a file with a flush per line; with 1 and with 4 threads calling at once, each with the caller
//    cost's 50th and 99th percentile. Every run queues the same 102,400 messages (split over the threads)
//    and ends by draining its queue once the callers are done, outside the timing (TraceStop; the end of
//    spdlog's thread pool; the counter drain_ms says how long the backlog took), so our queue, which has
//    no bound, holds at most one run's messages and every run starts empty. spdlog's queue, which has a
//    bound, gets room for a whole run with its blocking policy: it neither blocks nor drops, as ours does
//    not, and both sides' print threads work through the backlog while the callers run. Both sides' queue
//    memory is in place before the timing (see warmUpTrace);
//  - TraceThroughput: 10,000 leveled messages queued and written to a trace file with a flush per line,
//    until TraceStop returns, against an async file logger that flushes every line, until its thread pool
//    has drained; and the floor: open the file, one write system call per line of the same length, close.
// Files go beside this program (Trace's rule) and into BENCH_DIR. Run from scripts/bench.sh.
#include "Trace.h"
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kCallerMessagesPerRun = 102400; // a multiple of 4 threads times the batch
constexpr std::size_t kSpdlogCallerQueue = 131072;
constexpr int kThroughputMessages = 10000;

// Leveled trace on: queued, until the print thread starts.
void configureTrace() {
    TraceSetConsole(false);
    TraceSetFile(true, "bench-trace-output.txt", true);
    TraceSetLogFile("BenchTrace", true, TRACE_ROTATE_SIZE, 2000000000);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(9);
}

void startTrace() {
    TraceSetLevelOutput(true, true, false);
    TraceStart();
}

std::shared_ptr<spdlog::async_logger> asyncFileLogger(const std::string& file,
                                                      std::shared_ptr<spdlog::details::thread_pool> pool) {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(bench::folder() + "/" + file, true);
    auto logger = std::make_shared<spdlog::async_logger>("bench", sink, std::move(pool),
                                                         spdlog::async_overflow_policy::block);
    logger->set_pattern("%Y/%m/%d %H:%M:%S - %v");
    logger->flush_on(spdlog::level::trace);
    return logger;
}

// ---- TraceCaller ----------------------------------------------------------------------------------------

// Made before the threads of a run start; the first thread drains and drops them once all have ended.
// spdlog's queue is allocated and touched here, before the timing.
std::shared_ptr<spdlog::details::thread_pool> callerPool;
std::shared_ptr<spdlog::async_logger> callerLogger;

void setUpTrace(const benchmark::State&) {
    configureTrace(); // started by warmUpTrace
}

// Before the timing of every run, each calling thread queues its share of the run's messages while the
// print thread is stopped, and the print thread then drains them to no file. The memory the run's backlog
// takes is thus already in each calling thread's allocator arena, as in a host whose queue grew before
// (and as spdlog's queue is allocated and touched before its timing). Without it a run pays page faults
// for its backlog or not, as the allocator happened to keep or give back what the run before left; the
// counter faults_per_1k shows what is left.
void warmUpTrace(benchmark::State& state) {
    static bench::Barrier warmedUp;
    for (int i = 0; i < kCallerMessagesPerRun / state.threads(); ++i)
        TraceLevelPrint(1, 42, "value %d of %s\n", i, "bench");
    warmedUp.Wait(state.threads());
    if (state.thread_index() == 0) {
        TraceSetLevelOutput(true, false, false);
        TraceStart();
        TraceStop();
        startTrace();
    }
    warmedUp.Wait(state.threads());
}

void drainTrace() {
    TraceStop(); // returns when everything queued was written
}

void setUpSpdlogAsync(const benchmark::State&) {
    callerPool = std::make_shared<spdlog::details::thread_pool>(kSpdlogCallerQueue, 1);
    callerLogger = asyncFileLogger("bench-spdlog-async.txt", callerPool);
}

void drainSpdlogAsync() {
    callerLogger.reset();
    callerPool.reset(); // joins its thread once the queue is drained
}

void BM_TraceCaller_Ours_Print(benchmark::State& state) {
    static bench::CallerSamples samples;
    warmUpTrace(state);
    int i = 0;
    samples.Run(
        state, [&i] { TracePrint("value %d of %s\n", ++i, "bench"); }, drainTrace);
}

void BM_TraceCaller_Ours_LevelPrint(benchmark::State& state) {
    static bench::CallerSamples samples;
    warmUpTrace(state);
    int i = 0;
    samples.Run(
        state, [&i] { TraceLevelPrint(1, 42, "value %d of %s\n", ++i, "bench"); }, drainTrace);
}

void BM_TraceCaller_Spdlog(benchmark::State& state) {
    static bench::CallerSamples samples;
    int i = 0;
    spdlog::async_logger* logger = callerLogger.get(); // set before the threads started
    samples.Run(
        state, [&i, logger] { logger->info("value {} of {}", ++i, "bench"); }, drainSpdlogAsync);
}

// Each pair with 1 and with 4 threads; the iterations are per thread, so that every run queues the same.
void registerCaller(const char* name, void (*function)(benchmark::State&),
                    void (*setUp)(const benchmark::State&)) {
    for (int threads : {1, 4})
        benchmark::RegisterBenchmark(name, function)
            ->Setup(setUp)
            ->Threads(threads)
            ->Iterations(kCallerMessagesPerRun / threads)
            ->UseRealTime();
}

[[maybe_unused]] const bool callersRegistered = [] {
    registerCaller("BM_TraceCaller_Ours_Print", BM_TraceCaller_Ours_Print, setUpTrace);
    registerCaller("BM_TraceCaller_Ours_LevelPrint", BM_TraceCaller_Ours_LevelPrint, setUpTrace);
    registerCaller("BM_TraceCaller_Spdlog", BM_TraceCaller_Spdlog, setUpSpdlogAsync);
    return true;
}();

// ---- TraceThroughput ------------------------------------------------------------------------------------

void BM_TraceThroughput_Ours(benchmark::State& state) {
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

void BM_TraceThroughput_Spdlog(benchmark::State& state) {
    for (auto _ : state) {
        auto pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
        auto logger = asyncFileLogger("bench-spdlog-throughput.txt", pool);
        for (int i = 0; i < kThroughputMessages; ++i)
            logger->info("value {} of {}", i, "bench");
        logger.reset();
        pool.reset(); // returns when everything was written
    }
    state.SetItemsProcessed(state.iterations() * kThroughputMessages);
}

// What the machine costs for the print thread's work: the file opened empty, then per line one write
// system call of a line as long as ours (stdio with a flush per line makes exactly one), then the close.
// No formatting, no queue, no thread.
void BM_TraceThroughput_Floor(benchmark::State& state) {
    const std::string path = bench::folder() + "/bench-floor-throughput.log";
    char line[64];
    std::snprintf(line, sizeof line, "%4d/%02d/%02d %02d:%02d:%02d - value %d of %s\n", 2024, 1, 2, 12, 34,
                  56, 5000, "bench");
    const std::string text(line);
    for (auto _ : state) {
        bench::FloorFile file(path, O_WRONLY | O_CREAT | O_TRUNC);
        bool written = file.IsOpen();
        for (int i = 0; written && i < kThroughputMessages; ++i)
            written = file.Write(text);
        if (!written) {
            state.SkipWithError("cannot write the floor's file");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kThroughputMessages);
}

BENCHMARK(BM_TraceThroughput_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceThroughput_Spdlog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceThroughput_Floor)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
