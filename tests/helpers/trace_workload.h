// What the Trace test hosts trace: the setup of their files and a flood of numbered lines from 4 threads.
#pragma once

#include "Trace.h"

#include <thread>
#include <vector>

namespace trace_workload {

// 4 threads write count plain and count leveled messages in all ("<plain> T I", "<level> T I"), the
// leveled ones to the ids firstId to firstId + 3.
inline void flood(int count, const char* plain = "plain", const char* level = "level", int firstId = 0) {
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

// Trace files "<this folder>PREFIX...", size rotation, level 255, leveled trace to files only, console off,
// output file "output.txt" beside the program.
inline void setup(const char* prefix) {
    TraceSetLogFile(prefix, true, TRACE_ROTATE_SIZE, 100000000);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(255);
    TraceSetConsole(false);
    TraceSetFile(true, "output.txt", true);
}

} // namespace trace_workload
