#include "platform.h"

#include <windows.h>

namespace platform {

void* allocateSystemMemory(std::size_t bytes) {
    void* block = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    // Committed pages come in at their first touch: touched here, so that it happens in this call.
    if (block) {
        auto* bytesOfBlock = static_cast<volatile char*>(block);
        for (std::size_t at = 0; at < bytes; at += 4096)
            bytesOfBlock[at] = 0;
    }
    return block;
}

void freeSystemMemory(void* block, std::size_t) {
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace platform
