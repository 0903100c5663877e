// Fatal faults on Windows: an unhandled-exception filter chained in front of the one in place, and the C
// runtime's SIGABRT (abort(), and so an exception nothing catches), each run bounded by a watchdog thread.
#include "platform.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>

namespace platform {

namespace {

// Kept back on each thread that asks, so that a stack overflow leaves the filter a stack to run on.
constexpr ULONG kStackKeptForFaults = 64 * 1024;

FatalFaultHandler faultHandler = nullptr;
unsigned limit = 1000;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
using SignalHandler = void (*)(int);
SignalHandler previousAbortHandler = SIG_DFL;
bool installed = false;
std::atomic<DWORD> handlingThread{0};
std::atomic<bool> handlerDone{false};
DWORD handledCode = 0;

const char* nameOf(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return "access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return "stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return "integer divide by zero";
    case EXCEPTION_IN_PAGE_ERROR:
        return "in-page error";
    case 0x20474343u:
        return "C++ exception";
    default:
        return "exception";
    }
}

// "Module.dll+0x1234" when the address lies in a loaded module; empty otherwise.
void moduleAndOffset(const void* address, char* text, std::size_t capacity) {
    text[0] = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    const char* name = path;
    for (const char* at = path; *at; ++at) {
        if (*at == '\\' || *at == '/')
            name = at + 1;
    }
    std::snprintf(text, capacity, " (%s+0x%llx)", name,
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address) -
                                                  reinterpret_cast<std::uintptr_t>(module)));
}

void describe(const EXCEPTION_RECORD& record, char* line, std::size_t capacity) {
    char module[MAX_PATH + 32];
    moduleAndOffset(record.ExceptionAddress, module, sizeof module);
    int used = std::snprintf(
        line, capacity, "Crash: exception 0x%08lX (%s) at 0x%llx%s",
        static_cast<unsigned long>(record.ExceptionCode), nameOf(record.ExceptionCode),
        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress)), module);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2 && used > 0 &&
        static_cast<std::size_t>(used) < capacity) {
        used +=
            std::snprintf(line + used, capacity - static_cast<std::size_t>(used), ", fault address 0x%llx",
                          static_cast<unsigned long long>(record.ExceptionInformation[1]));
    }
    if (used > 0 && static_cast<std::size_t>(used) < capacity)
        std::snprintf(line + used, capacity - static_cast<std::size_t>(used), ", thread %lu",
                      static_cast<unsigned long>(GetCurrentThreadId()));
}

// Ends the process as the fault would have, once the handler has run past its limit.
DWORD WINAPI watchHandler(void*) {
    const DWORD step = 10;
    for (DWORD waited = 0; waited < limit; waited += step) {
        if (handlerDone.load())
            return 0;
        Sleep(step);
    }
    TerminateProcess(GetCurrentProcess(), handledCode);
    return 0;
}

// Claims the handling for the first thread that gets here and starts its watchdog, before anything that
// could wait (naming the module takes the loader's lock); true for that thread. A thread that comes later
// waits for it, and a fault of the handling thread's own ends the process at once with exitCode.
bool beginHandling(DWORD exitCode) {
    const DWORD self = GetCurrentThreadId();
    DWORD none = 0;
    if (!handlingThread.compare_exchange_strong(none, self)) {
        if (none == self)
            TerminateProcess(GetCurrentProcess(), exitCode);
        while (!handlerDone.load())
            Sleep(10);
        return false;
    }
    handledCode = exitCode;
    HANDLE watchdog = CreateThread(nullptr, 64 * 1024, watchHandler, nullptr, 0, nullptr);
    if (watchdog)
        CloseHandle(watchdog);
    return true;
}

void runHandler(const char* line) {
    faultHandler(line);
    handlerDone.store(true);
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) {
    if (beginHandling(exception->ExceptionRecord->ExceptionCode)) {
        char line[MAX_PATH + 160];
        describe(*exception->ExceptionRecord, line, sizeof line);
        runHandler(line);
    }
    if (previousFilter)
        return previousFilter(exception);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The C runtime's abort() exits with code 3 once the handler returns.
constexpr DWORD kAbortExitCode = 3;

void onAbort(int signal) {
    if (beginHandling(kAbortExitCode)) {
        char line[96];
        std::snprintf(line, sizeof line, "Crash: abort (SIGABRT), thread %lu",
                      static_cast<unsigned long>(GetCurrentThreadId()));
        runHandler(line);
    }
    std::signal(SIGABRT, previousAbortHandler);
    if (previousAbortHandler != SIG_DFL && previousAbortHandler != SIG_IGN)
        previousAbortHandler(signal);
}

} // namespace

bool watchForFatalFaults(FatalFaultHandler handler, unsigned limitMilliseconds) {
    faultHandler = handler;
    limit = limitMilliseconds;
    giveThreadFaultStack();
    previousFilter = SetUnhandledExceptionFilter(onUnhandledException);
    const SignalHandler previous = std::signal(SIGABRT, onAbort);
    previousAbortHandler = previous == SIG_ERR ? SIG_DFL : previous;
    installed = true;
    return true;
}

// A filter installed after ours is left in place.
void stopWatchingFatalFaults() {
    if (!installed)
        return;
    installed = false;
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(previousFilter);
    if (current != onUnhandledException)
        SetUnhandledExceptionFilter(current);
    const SignalHandler currentAbort = std::signal(SIGABRT, previousAbortHandler);
    if (currentAbort != onAbort && currentAbort != SIG_ERR)
        std::signal(SIGABRT, currentAbort);
}

void* giveThreadFaultStack() {
    ULONG kept = kStackKeptForFaults;
    SetThreadStackGuarantee(&kept);
    return nullptr;
}

void releaseThreadFaultStack(void*) {}

} // namespace platform
