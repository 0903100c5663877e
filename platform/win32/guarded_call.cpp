// callGuarded on Windows: C++ exceptions by try/catch, structured exceptions (access faults and the like)
// by a frame-based handler around the call. The system offers an exception to the handlers of the frames
// from the innermost out, so whatever handles its own exceptions inside the body (the body itself, or a
// system function it calls, such as IsBadReadPtr) does so first; the guard sees only a fault that escapes
// the body. It then unwinds the body's frames (their own unwind handlers run; C++ destructors do not, as
// for any fault) and returns false.
//
// x86_64: the handler belongs to a small assembly function that makes the call (the system finds it through
// the function's unwind data) and unwinds to a label inside that function.
// i686: the handler is a registration record on the thread's fs:[0] chain for the length of the call; it
// unwinds the records above its own and jumps back into the guard.
#include "platform.h"

#include <windows.h>

#include <excpt.h>

namespace platform {

namespace {

// Error-severity exceptions (0xC...) are faults; C++ exceptions, debugger messages and the like are not.
// A stack overflow leaves no stack to go on with: it is not caught.
bool isRecoverableFault(DWORD code) {
    return (code & 0xF0000000u) == 0xC0000000u && code != static_cast<DWORD>(STATUS_STACK_OVERFLOW);
}

struct GuardedBody {
    void (*body)(void*);
    void* context;
};

// The body with C++ exceptions absorbed: 1 when it returned, 0 when it threw.
int enterBody(void* argument) {
    auto* guarded = static_cast<GuardedBody*>(argument);
    try {
        guarded->body(guarded->context);
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace

} // namespace platform

#if defined(__x86_64__)

extern "C" {
// Calls enter(argument) and returns its result, or 0 after a fault that escaped it.
int plGuardedCallFrame(int (*enter)(void*), void* argument);
// Where a fault unwinds to inside plGuardedCallFrame.
extern char plGuardedCallResume[];
EXCEPTION_DISPOSITION plGuardedCallHandler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context,
                                           void* dispatcherContext);
}

// No frame register: the establisher frame is the stack pointer after the prologue, which is also what the
// unwind to plGuardedCallResume restores.
asm(R"(
    .text
    .p2align 4
    .globl plGuardedCallFrame
    .def plGuardedCallFrame; .scl 2; .type 32; .endef
    .seh_proc plGuardedCallFrame
plGuardedCallFrame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler plGuardedCallHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    .globl plGuardedCallResume
plGuardedCallResume:
    addq $40, %rsp
    ret
    .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION plGuardedCallHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                      CONTEXT*, void*) {
    if ((record->ExceptionFlags & EXCEPTION_UNWIND) != 0 ||
        !platform::isRecoverableFault(record->ExceptionCode))
        return ExceptionContinueSearch;
    // Does not return: the frames inside are unwound and plGuardedCallFrame returns 0.
    RtlUnwind(establisherFrame, plGuardedCallResume, record, nullptr);
    return ExceptionContinueSearch;
}

namespace platform {

bool callGuarded(void (*body)(void*), void* context) {
    GuardedBody guarded{body, context};
    return plGuardedCallFrame(enterBody, &guarded) != 0;
}

} // namespace platform

#else // i686

namespace platform {

namespace {

// The system's record first: the chain points at it, and the handler finds the rest from its address.
struct GuardRegistration {
    EXCEPTION_REGISTRATION_RECORD record;
    void* jumpBuffer[5];
};

// The head of the thread's chain of registration records, at fs:[0].
EXCEPTION_REGISTRATION_RECORD* chainHead() {
    EXCEPTION_REGISTRATION_RECORD* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void setChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

EXCEPTION_DISPOSITION NTAPI onException(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT*, void*) {
    if ((record->ExceptionFlags & EXCEPTION_UNWIND) != 0 || !isRecoverableFault(record->ExceptionCode))
        return ExceptionContinueSearch;
    // Kept in memory across the unwind, which need not keep the registers the compiler might use.
    GuardRegistration* volatile registration = static_cast<GuardRegistration*>(establisherFrame);
    // Unwinds the records above ours (the body's, the dispatcher's) and returns with ours innermost.
    RtlUnwind(establisherFrame, nullptr, record, nullptr);
    __builtin_longjmp(registration->jumpBuffer, 1);
}

// The body with C++ exceptions absorbed; kept out of the frame that holds the jump buffer.
__attribute__((noinline)) bool runBody(void (*body)(void*), void* context) {
    GuardedBody guarded{body, context};
    return enterBody(&guarded) != 0;
}

} // namespace

bool callGuarded(void (*body)(void*), void* context) {
    GuardRegistration registration{};
    registration.record.Handler = onException;
    registration.record.Next = chainHead();
    if (__builtin_setjmp(registration.jumpBuffer) != 0) {
        // Back from a fault that escaped the body: take our record off the chain as well.
        setChainHead(registration.record.Next);
        return false;
    }
    setChainHead(&registration.record);
    bool returned = runBody(body, context);
    setChainHead(registration.record.Next);
    return returned;
}

} // namespace platform

#endif
