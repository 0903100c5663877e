#include "platform.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <pthread.h>

namespace platform {

struct Event::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled;
    bool manualReset;
};

Event::Event(bool initiallySignalled, bool manualReset)
    : m_state(new State{{}, {}, initiallySignalled, manualReset}) {}

Event::~Event() {
    delete m_state;
}

bool Event::wait(unsigned timeoutMilliseconds) {
    std::unique_lock<std::mutex> hold(m_state->mutex);
    auto isSignalled = [this] { return m_state->signalled; };
    bool signalled = true;
    if (timeoutMilliseconds == kInfinite)
        m_state->changed.wait(hold, isSignalled);
    else
        signalled =
            m_state->changed.wait_for(hold, std::chrono::milliseconds(timeoutMilliseconds), isSignalled);
    if (signalled && !m_state->manualReset)
        m_state->signalled = false;
    return signalled;
}

void Event::set() {
    std::lock_guard<std::mutex> hold(m_state->mutex);
    m_state->signalled = true;
    if (m_state->manualReset)
        m_state->changed.notify_all();
    else
        m_state->changed.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> hold(m_state->mutex);
    m_state->signalled = false;
}

// The condition variable may count waiters of the parent's threads: destroying it would wait for them for
// ever. A new state is built in its storage instead, without destroying the old one.
void Event::resetInForkedChild() {
    const bool signalled = m_state->signalled;
    const bool manualReset = m_state->manualReset;
    new (m_state) State{{}, {}, signalled, manualReset};
}

namespace {

struct Start {
    unsigned (*entry)(void*);
    void* argument;
};

void* runEntry(void* start) {
    Start call = *static_cast<Start*>(start);
    delete static_cast<Start*>(start);
    call.entry(call.argument);
    return nullptr;
}

pthread_t& threadOf(std::intptr_t& handle) {
    return *reinterpret_cast<pthread_t*>(handle);
}

} // namespace

Thread::~Thread() {
    release();
}

bool Thread::start(unsigned (*entry)(void*), void* argument) {
    release();
    auto* thread = new pthread_t;
    auto* start = new Start{entry, argument};
    if (pthread_create(thread, nullptr, runEntry, start) != 0) {
        delete start;
        delete thread;
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(thread);
    return true;
}

void Thread::join() {
    if (!m_handle)
        return;
    pthread_join(threadOf(m_handle), nullptr);
    delete &threadOf(m_handle);
    m_handle = 0;
}

bool Thread::hasEnded() {
    if (!m_handle)
        return true;
    // A thread that has ended is joined at once, so the answer stays true.
    if (pthread_tryjoin_np(threadOf(m_handle), nullptr) != 0)
        return false;
    delete &threadOf(m_handle);
    m_handle = 0;
    return true;
}

bool Thread::isCallingThread() {
    return m_handle && pthread_equal(threadOf(m_handle), pthread_self());
}

void Thread::release() {
    if (!m_handle)
        return;
    pthread_detach(threadOf(m_handle));
    delete &threadOf(m_handle);
    m_handle = 0;
}

void Thread::forgetInForkedChild() {
    if (!m_handle)
        return;
    delete &threadOf(m_handle);
    m_handle = 0;
}

void callAroundFork(void (*prepare)(), void (*parent)(), void (*child)()) {
    pthread_atfork(prepare, parent, child);
}

void* acquireOwnModule() {
    return nullptr;
}

void exitThreadReleasingModule(void*, unsigned) {}

// The system's unwinder reads each library's tables where they are mapped: nothing to keep.
void keepUnwindTablesUntilProcessExit() {}
void releaseUnwindTables(bool) {}

} // namespace platform
