#include "platform.h"

#include <windows.h>

namespace platform {

DynamicLibrary::DynamicLibrary(const std::string& path) {
    // A library named by its path finds the libraries it depends on beside it.
    m_handle = reinterpret_cast<void*>(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!m_handle)
        m_error = "LoadLibraryA failed with error " + std::to_string(GetLastError());
}

DynamicLibrary::~DynamicLibrary() {
    if (m_handle)
        FreeLibrary(static_cast<HMODULE>(m_handle));
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!m_handle)
        return nullptr;
    // Through an integer: C++ does not convert function pointers to object pointers directly.
    FARPROC address = GetProcAddress(static_cast<HMODULE>(m_handle), name);
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(address));
}

} // namespace platform

namespace platform {

void* DynamicLibrary::exportByOrdinal(unsigned ordinal) const {
    if (!m_handle)
        return nullptr;
    FARPROC address = GetProcAddress(static_cast<HMODULE>(m_handle), MAKEINTRESOURCEA(ordinal));
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(address));
}

} // namespace platform
