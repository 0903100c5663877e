#include "platform.h"

#include <windows.h>

#include <process.h>

namespace platform {

struct Event::State {
    HANDLE handle;
};

Event::Event(bool initiallySignalled, bool manualReset)
    : m_state(new State{CreateEventA(nullptr, manualReset, initiallySignalled, nullptr)}) {}

Event::~Event() {
    if (m_state->handle)
        CloseHandle(m_state->handle);
    delete m_state;
}

bool Event::wait(unsigned timeoutMilliseconds) {
    return WaitForSingleObject(m_state->handle,
                               timeoutMilliseconds == kInfinite ? INFINITE : timeoutMilliseconds) ==
           WAIT_OBJECT_0;
}

void Event::set() {
    SetEvent(m_state->handle);
}
void Event::reset() {
    ResetEvent(m_state->handle);
}
void Event::resetInForkedChild() {} // Windows has no fork

namespace {

struct Start {
    unsigned (*entry)(void*);
    void* argument;
};

// _beginthreadex wants __stdcall, which differs from the default on 32-bit Windows.
unsigned __stdcall runEntry(void* start) {
    Start call = *static_cast<Start*>(start);
    delete static_cast<Start*>(start);
    return call.entry(call.argument);
}

} // namespace

Thread::~Thread() {
    release();
}

bool Thread::start(unsigned (*entry)(void*), void* argument) {
    release();
    auto* start = new Start{entry, argument};
    m_handle = static_cast<std::intptr_t>(_beginthreadex(nullptr, 0, runEntry, start, 0, nullptr));
    if (!m_handle)
        delete start;
    return m_handle != 0;
}

void Thread::join() {
    if (!m_handle)
        return;
    WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), INFINITE);
    release();
}

bool Thread::hasEnded() {
    return !m_handle || WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), 0) == WAIT_OBJECT_0;
}

bool Thread::isCallingThread() {
    return m_handle && GetThreadId(reinterpret_cast<HANDLE>(m_handle)) == GetCurrentThreadId();
}

void Thread::release() {
    if (!m_handle)
        return;
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = 0;
}

void Thread::forgetInForkedChild() {} // Windows has no fork

void callAroundFork(void (*)(), void (*)(), void (*)()) {} // Windows has no fork

void* acquireOwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&acquireOwnModule),
                       &module);
    return module;
}

void exitThreadReleasingModule(void* module, unsigned exitCode) {
    if (module)
        FreeLibraryAndExitThread(static_cast<HMODULE>(module), exitCode);
}

} // namespace platform
