// Run-time binding of system functions for CLog (the debugger check).
#include "Console.h"

#include "platform.h"

#include <cstring>

TOSDepFnBase::TOSDepFnBase(const char* libraryName, const char* functionName)
    : m_bBindAttempted(false), m_hLibrary(nullptr), m_pLibraryName(libraryName),
      m_pFunctionName(functionName) {}

TOSDepFnBase::~TOSDepFnBase() {
    platform::releaseSystemLibrary(m_hLibrary);
}

template <typename F> bool TOSDepFn<F>::IsAvailable() {
    if (!m_pFunction && !m_bBindAttempted) {
        platform::suppressOpenFileErrorBoxes();
        void* address = platform::bindSystemFunction(m_pLibraryName, m_pFunctionName, &m_hLibrary);
        std::memcpy(&m_pFunction, &address, sizeof m_pFunction);
        m_bBindAttempted = true;
    }
    return m_pFunction != nullptr;
}

template class TOSDepFn<int (*)()>;
