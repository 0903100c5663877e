// The binding on Windows: the named function of the named system library, looked up at run time (CLog
// binds IsDebuggerPresent of kernel32.dll), without the system asking the user about a missing file.
#include "Console.h"

#include "platform.h"

#include <cstring>

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
