#include "platform.h"

#include <windows.h>

#include <cstdint>

namespace platform {

bool debuggerPresent() {
    return IsDebuggerPresent() != FALSE;
}

void* bindSystemFunction(const char* libraryName, const char* functionName, void** library) {
    *library = nullptr;
    HMODULE module = LoadLibraryA(libraryName);
    if (!module)
        return nullptr;
    FARPROC function = GetProcAddress(module, functionName);
    if (!function) {
        FreeLibrary(module);
        return nullptr;
    }
    *library = module;
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(function));
}

void releaseSystemLibrary(void* library) {
    if (library)
        FreeLibrary(static_cast<HMODULE>(library));
}

void suppressOpenFileErrorBoxes() {
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
}

} // namespace platform
