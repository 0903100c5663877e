#include "platform.h"

#include <sys/mman.h>

namespace platform {

void* allocateSystemMemory(std::size_t bytes) {
    // MAP_POPULATE: the pages are made present in this call.
    void* block =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void freeSystemMemory(void* block, std::size_t bytes) {
    if (block)
        ::munmap(block, bytes);
}

} // namespace platform
