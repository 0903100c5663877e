#include "memory_limit.h"

#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>

namespace {

// The address space in use now ("VmSize" of /proc/self/status), in bytes; 0 when unknown. Measured rather
// than assumed: a sanitizer reserves terabytes for its shadow memory before main runs.
std::size_t addressSpaceInUse() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmSize:") {
            std::size_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

} // namespace

bool LimitFurtherMemory(std::size_t bytes) {
    const std::size_t inUse = addressSpaceInUse();
    if (inUse == 0)
        return false;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(inUse + bytes);
    if (setrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    // Mapped directly, not allocated: a sanitizer's allocator would end the process on the refusal.
    const std::size_t beyond = bytes + (64u << 20);
    void* block = mmap(nullptr, beyond, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return true;
    munmap(block, beyond);
    return false;
}
