#include "platform.h"

#include <windows.h>

namespace platform {

void* allocateSystemMemory(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void freeSystemMemory(void* block, std::size_t) {
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace platform
