#include "memory_limit.h"

#include <windows.h>

#include <psapi.h>

bool LimitFurtherMemory(std::size_t bytes) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return false;
    HANDLE job = CreateJobObjectA(nullptr, nullptr); // kept for the life of the process
    if (!job)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limits.ProcessMemoryLimit = counters.PrivateUsage + bytes;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, GetCurrentProcess()))
        return false;
    const std::size_t beyond = bytes + (64u << 20);
    void* block = VirtualAlloc(nullptr, beyond, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!block)
        return true;
    VirtualFree(block, 0, MEM_RELEASE);
    return false;
}
