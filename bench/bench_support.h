// What the benchmark programs share: where their files go, the caller-cost percentiles, and the floor's
// plain system calls.
//
// Naming: BM_<Pair>_<Side>[_<Variant>], Side one of Ours, Spdlog, Floor, Pair and Variant CamelCase
// without underscores. scripts/bench.sh builds its table from these names: each Ours benchmark is
// compared with the Spdlog and the Floor benchmark of its pair run with the same number of threads.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline const std::string& folder() {
    static const std::string path = [] {
        const char* value = std::getenv("BENCH_DIR");
        return std::string(value ? value : ".");
    }();
    return path;
}

// The caller cost as a distribution. Each thread reads the clock once before and once after a batch of
// kBatch calls and keeps the batch's time per call; the clock's own cost (two reads of a few tens of
// nanoseconds) thus spreads over the batch. Every thread fills only its own samples; the first thread
// merges them after the loop, when the benchmark's end barrier has seen every thread leave it, and reports
// the 50th and 99th percentile in nanoseconds per call as the counters p50_ns and p99_ns (and the number
// of batches they come from). Two counters say where a caller's time went beyond its own work, summed
// over the calling threads' timed loops, per 1000 calls: faults_per_1k, the minor page faults (memory
// touched for the first time), and waits_per_1k, the voluntary context switches (waiting for a lock).
class CallerSamples {
public:
    static constexpr int kBatch = 64;

    template <typename Call> void Run(benchmark::State& state, Call call) {
        if (TimeBatches(state, call))
            Report(state);
    }

    // drain: run by the first thread once every thread has left the timed loop (a queue's backlog written
    // out, say); its time is the counter drain_ms.
    template <typename Call, typename Drain> void Run(benchmark::State& state, Call call, Drain drain) {
        if (!TimeBatches(state, call))
            return;
        const auto begin = Clock::now();
        drain();
        state.counters["drain_ms"] = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        Report(state);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxThreads = 16;

    struct Usage {
        long faults = 0;
        long waits = 0;
    };

    static Usage ThreadUsage() {
        rusage usage{};
        ::getrusage(RUSAGE_THREAD, &usage);
        return {usage.ru_minflt, usage.ru_nvcsw};
    }

    // The timed loop of one thread; true for the first thread, which reports.
    template <typename Call> bool TimeBatches(benchmark::State& state, Call call) {
        std::vector<double>& samples = m_perThread.at(static_cast<std::size_t>(state.thread_index()));
        samples.clear();
        // Reserved before the timed loop: the loop itself does not allocate.
        samples.reserve(static_cast<std::size_t>(state.max_iterations / kBatch + 2));
        Usage& usage = m_usage.at(static_cast<std::size_t>(state.thread_index()));
        const Usage before = ThreadUsage();
        while (state.KeepRunningBatch(kBatch)) {
            const auto begin = Clock::now();
            for (int i = 0; i < kBatch; ++i)
                call();
            const auto end = Clock::now();
            samples.push_back(std::chrono::duration<double, std::nano>(end - begin).count() / kBatch);
            // Kept in the last batch: once the loop ends, the first thread may already be reading it.
            if (state.iterations() >= state.max_iterations) {
                const Usage after = ThreadUsage();
                usage = {after.faults - before.faults, after.waits - before.waits};
            }
        }
        return state.thread_index() == 0;
    }

    void Report(benchmark::State& state) {
        std::vector<double> all;
        Usage usage;
        for (int thread = 0; thread < state.threads(); ++thread) {
            const auto& samples = m_perThread.at(static_cast<std::size_t>(thread));
            all.insert(all.end(), samples.begin(), samples.end());
            usage.faults += m_usage.at(static_cast<std::size_t>(thread)).faults;
            usage.waits += m_usage.at(static_cast<std::size_t>(thread)).waits;
        }
        if (all.empty())
            return;
        std::sort(all.begin(), all.end());
        // Only the first thread sets them: the per-thread counters are summed, so they stay as set.
        state.counters["p50_ns"] = Percentile(all, 50);
        state.counters["p99_ns"] = Percentile(all, 99);
        state.counters["batches"] = static_cast<double>(all.size());
        const double kiloCalls = static_cast<double>(all.size()) * kBatch / 1000.0;
        state.counters["faults_per_1k"] = static_cast<double>(usage.faults) / kiloCalls;
        state.counters["waits_per_1k"] = static_cast<double>(usage.waits) / kiloCalls;
    }

    // Nearest rank of sorted samples.
    static double Percentile(const std::vector<double>& sorted, int percent) {
        std::size_t rank = (sorted.size() * static_cast<std::size_t>(percent) + 99) / 100;
        return sorted[std::max<std::size_t>(rank, 1) - 1];
    }

    std::array<std::vector<double>, kMaxThreads> m_perThread;
    std::array<Usage, kMaxThreads> m_usage;
};

// Holds each of a run's threads until all of them have arrived; reusable.
class Barrier {
public:
    void Wait(int threads) {
        std::unique_lock<std::mutex> hold(m_mutex);
        const unsigned long generation = m_generation;
        if (++m_arrived == threads) {
            m_arrived = 0;
            ++m_generation;
            m_allArrived.notify_all();
            return;
        }
        m_allArrived.wait(hold, [&] { return m_generation != generation; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_allArrived;
    int m_arrived = 0;
    unsigned long m_generation = 0;
};

// The floor's system calls: a file descriptor and one whole write, retried only when interrupted.
class FloorFile {
public:
    FloorFile(const std::string& path, int flags) : m_fd(::open(path.c_str(), flags | O_CLOEXEC, 0644)) {}
    ~FloorFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FloorFile(const FloorFile&) = delete;
    FloorFile& operator=(const FloorFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    bool Write(const std::string& line) const {
        ssize_t written;
        do {
            written = ::write(m_fd, line.data(), line.size());
        } while (written < 0 && errno == EINTR);
        return written == static_cast<ssize_t>(line.size());
    }

private:
    int m_fd;
};

} // namespace bench
