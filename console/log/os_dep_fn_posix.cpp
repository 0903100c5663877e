// The binding on Linux, which has no system libraries to look functions up in. The one function Console
// binds, CLog's debugger check (a TOSDepFn<int (*)()>, IsDebuggerPresent of kernel32.dll on Windows), is
// the platform's debuggerPresent here; it is the only instantiation there is.
#include "Console.h"

#include "platform.h"

namespace {

int debuggerPresentAnswer() {
    return platform::debuggerPresent() ? 1 : 0;
}

} // namespace

template <typename F> bool TOSDepFn<F>::IsAvailable() {
    m_pFunction = debuggerPresentAnswer;
    m_bBindAttempted = true;
    return true;
}

template class TOSDepFn<int (*)()>;
