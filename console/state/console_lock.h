// ConsoleLock: the recursive lock of Console's module-wide state, as a type clang's thread-safety analysis
// knows for a lock, and ConsoleLockHold, which holds one for a scope.
#pragma once

#include "platform.h"
#include "state/thread_safety.h"

class CONSOLE_CAPABILITY("mutex") ConsoleLock {
public:
    // spinAttempts: how often a thread that finds the lock held tries again before it waits in the system.
    explicit ConsoleLock(unsigned spinAttempts = 0) : m_lock(spinAttempts) {}
    ConsoleLock(const ConsoleLock&) = delete;
    ConsoleLock& operator=(const ConsoleLock&) = delete;

    // A thread that holds the lock may take it again: the first emission loads the settings, and the load
    // writes its banner through the pipeline.
    void Lock() CONSOLE_ACQUIRE() { m_lock.lock(); }
    void Unlock() CONSOLE_RELEASE() { m_lock.unlock(); }
    // Takes the lock only if no other thread holds it (a crash's handling, which must not wait).
    bool TryLock() CONSOLE_TRY_ACQUIRE(true) { return m_lock.tryLock(); }

private:
    platform::RecursiveLock m_lock;
};

class CONSOLE_SCOPED_CAPABILITY ConsoleLockHold {
public:
    explicit ConsoleLockHold(ConsoleLock& lock) CONSOLE_ACQUIRE(lock) : m_lock(lock) { m_lock.Lock(); }
    ~ConsoleLockHold() CONSOLE_RELEASE() { m_lock.Unlock(); }
    ConsoleLockHold(const ConsoleLockHold&) = delete;
    ConsoleLockHold& operator=(const ConsoleLockHold&) = delete;

private:
    ConsoleLock& m_lock;
};
