// The cost of one line through the console pipeline, next to spdlog doing the same work and, where the
// work is a system call, next to that system call alone (names: see bench_support.h):
//  - ConsoleBuffer: CS_TRACE into the ring buffer only, against a spdlog logger on a ringbuffer_sink_mt (a
//    mutex around the ring, as our pipeline lock); with 1 and with 4 threads calling at once, each with
//    the caller cost's 50th and 99th percentile;
//  - ConsoleFile: CS_TRACE with the file sink (open, one write-through write, close per line) against a
//    spdlog file sink that flushes and syncs every line, and the floor: open with O_DSYNC, one write of
//    the line, close, per line;
//  - CLogDisabled: a CLog message below the threshold against a spdlog message below its level;
//  - CLogPipeline: a CLog message to the pipeline (buffer only) against a spdlog ring-buffer message.
// Both sides format the time and a short text. Run from scripts/bench.sh, which prints the ratios;
// absolute times depend on the machine.
#include "Console.h"
#include "Kitbag.h"
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/ringbuffer_sink.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// 102400 bytes of our ring hold about 3,400 such lines.
constexpr std::size_t kRingLines = 3400;

void configureConsole(bool fileSink) {
    ::setenv("KITBAG_SETTINGS", (bench::folder() + "/bench-settings.ini").c_str(), 1);
    KB_SetBoolA("Debug", "EnableLogToFile", fileSink);
    KB_SetBoolA("Debug", "EnableLogToDebugOutput", false);
    KB_SetStringA("Debug", "LogFile", (bench::folder() + "/bench-console.log").c_str());
    KB_SetStringA("Debug", "InternalBufferSize", "102400");
    ConsoleInitialise();
}

std::shared_ptr<spdlog::logger> spdlogWith(spdlog::sink_ptr sink) {
    auto logger = std::make_shared<spdlog::logger>("bench", std::move(sink));
    logger->set_pattern("%H:%M:%S - %v");
    return logger;
}

// ---- ConsoleBuffer: the caller cost, 1 and 4 threads --------------------------------------------------

// Shared by the threads of a run; made before they start and dropped after they all ended.
std::shared_ptr<spdlog::logger> sharedRingLogger;

void setUpConsoleBuffer(const benchmark::State&) {
    configureConsole(false);
}

void setUpSpdlogRing(const benchmark::State&) {
    sharedRingLogger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(kRingLines));
}

void tearDownSpdlogRing(const benchmark::State&) {
    sharedRingLogger.reset();
}

void BM_ConsoleBuffer_Ours(benchmark::State& state) {
    static bench::CallerSamples samples;
    int i = 0;
    samples.Run(state, [&i] { CS_TRACE("value %d of %s\n", ++i, "bench"); });
}

void BM_ConsoleBuffer_Spdlog(benchmark::State& state) {
    static bench::CallerSamples samples;
    int i = 0;
    spdlog::logger* logger = sharedRingLogger.get(); // set before the threads started
    samples.Run(state, [&i, logger] { logger->info("value {} of {}", ++i, "bench"); });
}

// ---- ConsoleFile: the file sink, one thread -------------------------------------------------------------

void BM_ConsoleFile_Ours(benchmark::State& state) {
    configureConsole(true);
    int i = 0;
    for (auto _ : state)
        CS_TRACE("value %d of %s\n", ++i, "bench");
}

// A file sink that writes each line, flushes it and syncs it to the disk, as our file sink does.
class SyncedFileSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit SyncedFileSink(const std::string& path) : m_file(std::fopen(path.c_str(), "ab")) {}
    ~SyncedFileSink() override {
        if (m_file)
            std::fclose(m_file);
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        std::fwrite(formatted.data(), 1, formatted.size(), m_file);
        flush_();
    }
    void flush_() override {
        std::fflush(m_file);
        ::fdatasync(::fileno(m_file));
    }

private:
    std::FILE* m_file;
};

void BM_ConsoleFile_Spdlog(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<SyncedFileSink>(bench::folder() + "/bench-spdlog.log"));
    int i = 0;
    for (auto _ : state)
        logger->info("value {} of {}", ++i, "bench");
}

// What the machine costs for our file sink's work: per line the same open (append, write-through), one
// write of a line as long as ours, and the close; no formatting, no lock, no ring.
void BM_ConsoleFile_Floor(benchmark::State& state) {
    const std::string path = bench::folder() + "/bench-floor-console.log";
    {
        bench::FloorFile empty(path, O_WRONLY | O_CREAT | O_TRUNC); // as ours, emptied at its load
    }
    char line[64];
    std::snprintf(line, sizeof line, "%02d:%02d:%02d - value %d of %s\n", 12, 34, 56, 123456, "bench");
    const std::string text(line);
    for (auto _ : state) {
        bench::FloorFile file(path, O_WRONLY | O_CREAT | O_APPEND | O_DSYNC);
        if (!file.IsOpen() || !file.Write(text)) {
            state.SkipWithError("cannot write the floor's file");
            break;
        }
    }
}

// ---- CLog -----------------------------------------------------------------------------------------------

// The log reads its word on first use: pipeline on, threshold WARNING (INFO is below it).
CLog& benchLog() {
    static CLog& log = []() -> CLog& {
        ::setenv("logging", "00000202", 1);
        return CS_GetLog();
    }();
    return log;
}

void BM_CLogDisabled_Ours(benchmark::State& state) {
    configureConsole(false);
    CLog& log = benchLog();
    int i = 0;
    for (auto _ : state)
        log << CLog::INFO << "value " << ++i << " of "
            << "bench";
}

void BM_CLogDisabled_Spdlog(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(kRingLines));
    logger->set_level(spdlog::level::warn);
    int i = 0;
    for (auto _ : state)
        logger->info("value {} of {}", ++i, "bench");
}

void BM_CLogPipeline_Ours(benchmark::State& state) {
    configureConsole(false);
    CLog& log = benchLog();
    int i = 0;
    for (auto _ : state)
        log << CLog::WARNING << "value " << ++i << " of "
            << "bench";
}

void BM_CLogPipeline_Spdlog(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(kRingLines));
    logger->set_pattern("%H:%M:%S:%e %l: %v");
    int i = 0;
    for (auto _ : state)
        logger->warn("value {} of {}", ++i, "bench");
}

BENCHMARK(BM_ConsoleBuffer_Ours)->Setup(setUpConsoleBuffer)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK(BM_ConsoleBuffer_Spdlog)
    ->Setup(setUpSpdlogRing)
    ->Teardown(tearDownSpdlogRing)
    ->Threads(1)
    ->Threads(4)
    ->UseRealTime();
// A line takes the disk's latency, which swings tenfold on a shared machine as other programs write:
// many short repetitions (interleaved with the other benchmarks' by scripts/bench.sh) give a median that
// a slow spell does not move, and a fixed count keeps the run's length in hand.
void fileLines(benchmark::internal::Benchmark* benchmark) {
    benchmark->Iterations(40)->Repetitions(20);
}
BENCHMARK(BM_ConsoleFile_Ours)->Apply(fileLines);
BENCHMARK(BM_ConsoleFile_Spdlog)->Apply(fileLines);
BENCHMARK(BM_ConsoleFile_Floor)->Apply(fileLines);
BENCHMARK(BM_CLogDisabled_Ours);
BENCHMARK(BM_CLogDisabled_Spdlog);
BENCHMARK(BM_CLogPipeline_Ours);
BENCHMARK(BM_CLogPipeline_Spdlog);

} // namespace

BENCHMARK_MAIN();
