// The cost of one CS_TRACE line through the console pipeline, next to spdlog doing the same work:
//  - buffer only: our ring buffer against spdlog's ring-buffer sink;
//  - with the file sink: our write-through append against a spdlog file sink that flushes and syncs
//    every line.
//  - a CLog message below the threshold against a spdlog message below its level;
//  - a CLog message to the pipeline (buffer only) against spdlog's ring-buffer sink.
// Both sides format the time and a short text. Run from scripts/bench.sh, which prints
// the ratios; absolute times depend on the machine.
#include "Console.h"
#include "Kitbag.h"

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

const std::string kFolder = [] {
    const char* folder = std::getenv("BENCH_DIR");
    return std::string(folder ? folder : ".");
}();

void configureConsole(bool fileSink) {
    ::setenv("KITBAG_SETTINGS", (kFolder + "/bench-settings.ini").c_str(), 1);
    KB_SetBoolA("Debug", "EnableLogToFile", fileSink);
    KB_SetBoolA("Debug", "EnableLogToDebugOutput", false);
    KB_SetStringA("Debug", "LogFile", (kFolder + "/bench-console.log").c_str());
    KB_SetStringA("Debug", "InternalBufferSize", "102400");
    ConsoleInitialise();
}

void consoleLines(benchmark::State& state) {
    int i = 0;
    for (auto _ : state)
        CS_TRACE("value %d of %s\n", ++i, "bench");
}

void BM_Console_BufferOnly(benchmark::State& state) {
    configureConsole(false);
    consoleLines(state);
}

void BM_Console_FileSink(benchmark::State& state) {
    configureConsole(true);
    consoleLines(state);
}

std::shared_ptr<spdlog::logger> spdlogWith(spdlog::sink_ptr sink) {
    auto logger = std::make_shared<spdlog::logger>("bench", std::move(sink));
    logger->set_pattern("%H:%M:%S - %v");
    return logger;
}

void spdlogLines(benchmark::State& state, spdlog::logger& logger) {
    int i = 0;
    for (auto _ : state)
        logger.info("value {} of {}", ++i, "bench");
}

void BM_Spdlog_RingBuffer(benchmark::State& state) {
    // 102400 bytes of ours hold about 3,400 such lines.
    auto logger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(3400));
    spdlogLines(state, *logger);
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

void BM_Spdlog_FileFlushSync(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<SyncedFileSink>(kFolder + "/bench-spdlog.log"));
    spdlogLines(state, *logger);
}

// The log reads its word on first use: pipeline on, threshold WARNING (INFO is below it).
CLog& benchLog() {
    static CLog& log = []() -> CLog& {
        ::setenv("logging", "00000202", 1);
        return CS_GetLog();
    }();
    return log;
}

void BM_CLog_Disabled(benchmark::State& state) {
    configureConsole(false);
    CLog& log = benchLog();
    int i = 0;
    for (auto _ : state)
        log << CLog::INFO << "value " << ++i << " of "
            << "bench";
}

void BM_Spdlog_Disabled(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(3400));
    logger->set_level(spdlog::level::warn);
    int i = 0;
    for (auto _ : state)
        logger->info("value {} of {}", ++i, "bench");
}

void BM_CLog_ToPipeline(benchmark::State& state) {
    configureConsole(false);
    CLog& log = benchLog();
    int i = 0;
    for (auto _ : state)
        log << CLog::WARNING << "value " << ++i << " of "
            << "bench";
}

void BM_Spdlog_RingBufferMessage(benchmark::State& state) {
    auto logger = spdlogWith(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(3400));
    logger->set_pattern("%H:%M:%S:%e %l: %v");
    int i = 0;
    for (auto _ : state)
        logger->warn("value {} of {}", ++i, "bench");
}

BENCHMARK(BM_Console_BufferOnly);
BENCHMARK(BM_Spdlog_RingBuffer);
BENCHMARK(BM_Console_FileSink);
BENCHMARK(BM_Spdlog_FileFlushSync);
BENCHMARK(BM_CLog_Disabled);
BENCHMARK(BM_Spdlog_Disabled);
BENCHMARK(BM_CLog_ToPipeline);
BENCHMARK(BM_Spdlog_RingBufferMessage);

} // namespace

BENCHMARK_MAIN();
