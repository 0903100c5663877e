// The queue's synchronisation objects (CMsgList), on the platform layer. Each owns its OS object; any
// thread may use them.
#pragma once

#include "platform.h"

class CSyncObject {
public:
    virtual int Lock() = 0;
    virtual int Lock(unsigned timeoutMilliseconds) = 0; // the same as Lock(): waits without limit
    virtual int Unlock() = 0;
    virtual ~CSyncObject() = default;
};

// A critical section; the holding thread may take it again.
class CCriticalSection : public CSyncObject {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    int Lock() override {
        m_section.lock();
        return 0;
    }
    int Lock(unsigned) override { return Lock(); }
    int Unlock() override {
        m_section.unlock();
        return 0;
    }
    // Takes the section only if no other thread holds it.
    bool TryLock() { return m_section.tryLock(); }
    // In the child of fork(): the section anew and free.
    void ResetInForkedChild() { m_section.resetInForkedChild(); }
    // For platform::ScopedLock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    platform::RecursiveLock m_section;
};

class CEvent {
public:
    CEvent(bool initiallySignalled, bool manualReset) : m_event(initiallySignalled, manualReset) {}
    virtual ~CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // True when signalled within the time (platform::Event::kInfinite: no limit).
    bool Wait(unsigned timeoutMilliseconds) { return m_event.wait(timeoutMilliseconds); }
    void Set() { m_event.set(); }
    void Reset() { m_event.reset(); }
    // In the child of fork(): the event anew, without the parent's waiters.
    void ResetInForkedChild() { m_event.resetInForkedChild(); }

private:
    platform::Event m_event;
};
