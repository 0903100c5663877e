#include "bad_address_probe.h"

#include <windows.h>

#include <cstdint>

bool ProbeUnreadableAddress() {
    // Not null (IsBadReadPtr answers that without reading): an address in the first page, never mapped.
    const void* unreadable = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x10));
    return IsBadReadPtr(unreadable, 4) != FALSE;
}
