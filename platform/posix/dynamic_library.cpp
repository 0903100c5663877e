#include "platform.h"

#include <dlfcn.h>

namespace platform {

DynamicLibrary::DynamicLibrary(const std::string& path) {
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        m_error = why ? why : "dlopen failed";
    }
}

DynamicLibrary::~DynamicLibrary() {
    if (m_handle)
        ::dlclose(m_handle);
}

void* DynamicLibrary::symbol(const char* name) const {
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

void* DynamicLibrary::exportByOrdinal(unsigned) const {
    return nullptr;
}

} // namespace platform
