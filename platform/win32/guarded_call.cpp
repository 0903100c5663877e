// callGuarded on Windows: C++ exceptions by try/catch, structured exceptions (access faults and the like)
// by a vectored exception handler. mingw has no __try: the handler moves the faulting thread to a small
// function that jumps back into the guard (a __builtin_setjmp frame), and the system resumes it there.
#include "platform.h"

#include <windows.h>

namespace platform {

namespace {

// One guarded call in progress on a thread; guards nest.
struct GuardFrame {
    void* jumpBuffer[5];
    GuardFrame* outer;
};

thread_local GuardFrame* innermostGuard = nullptr;

[[noreturn]] void resumeInGuard() {
    __builtin_longjmp(innermostGuard->jumpBuffer, 1);
}

// Error-severity exceptions (0xC...) are faults; C++ exceptions, debugger messages and the like are not.
// A stack overflow leaves no stack to resume on: it is not caught.
bool isRecoverableFault(DWORD code) {
    return (code & 0xF0000000u) == 0xC0000000u && code != static_cast<DWORD>(STATUS_STACK_OVERFLOW);
}

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
    if (!innermostGuard || !isRecoverableFault(exception->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* context = exception->ContextRecord;
    // Resume in resumeInGuard as if it had just been called: the stack aligned as at a function's entry.
#if defined(_WIN64)
    context->Rsp = (context->Rsp & ~static_cast<DWORD64>(15)) - 8;
    context->Rip = reinterpret_cast<DWORD64>(&resumeInGuard);
#else
    context->Esp = (context->Esp & ~static_cast<DWORD>(15)) - 4;
    context->Eip = reinterpret_cast<DWORD>(&resumeInGuard);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

void installHandlerOnce() {
    static PVOID handler = AddVectoredExceptionHandler(1, onException);
    (void)handler;
}

// The body with C++ exceptions absorbed; kept out of the frame that holds the jump buffer.
__attribute__((noinline)) bool runBody(void (*body)(void*), void* context) {
    try {
        body(context);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

bool callGuarded(void (*body)(void*), void* context) {
    installHandlerOnce();
    GuardFrame frame{};
    frame.outer = innermostGuard;
    if (__builtin_setjmp(frame.jumpBuffer) != 0) {
        // Back from a fault inside the body.
        innermostGuard = frame.outer;
        return false;
    }
    innermostGuard = &frame;
    bool returned = runBody(body, context);
    innermostGuard = frame.outer;
    return returned;
}

} // namespace platform
