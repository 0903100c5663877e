#include "platform.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>

namespace platform {

namespace {

// Converting to local time costs more than the rest of a log line: a second's fields serve the whole
// second. In the static TLS block (initial-exec): every log line reads them, and the general model calls
// __tls_get_addr for each read; the few bytes fit the room glibc keeps for a library that is loaded later.
const tm& localFieldsOf(time_t second) {
    thread_local time_t cachedSecond __attribute__((tls_model("initial-exec"))) = -1;
    thread_local tm fields __attribute__((tls_model("initial-exec"))){};
    if (second != cachedSecond) {
        ::localtime_r(&second, &fields);
        cachedSecond = second;
    }
    return fields;
}

LocalTime localTimeOf(const tm& fields, int milliseconds) {
    return LocalTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_wday,
                     fields.tm_hour,        fields.tm_min,     fields.tm_sec,  milliseconds};
}

} // namespace

LocalTime localTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return localTimeOf(localFieldsOf(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000));
}

// time() is not used: it reads the kernel's coarse clock, up to a scheduler tick behind CLOCK_REALTIME, so
// that a second from it could be earlier than a millisecond time read before it.
LocalTime localTimeToTheSecond() {
    return localTimeOfSystemSecond(systemSecondsNow());
}

std::int64_t systemSecondsNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec);
}

LocalTime localTimeOfSystemSecond(std::int64_t systemSecond) {
    return localTimeOf(localFieldsOf(static_cast<time_t>(systemSecond)), 0);
}

std::int64_t systemTimeTicks() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // From 1601 to 1970: 11,644,473,600 seconds.
    constexpr std::int64_t kEpochDifference = 11644473600LL;
    return (static_cast<std::int64_t>(now.tv_sec) + kEpochDifference) * 10000000 + now.tv_nsec / 100;
}

void sleepMilliseconds(unsigned milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

static_assert(sizeof(pthread_mutex_t) <= 56, "RecursiveLock storage too small");

namespace {
// Tells the processor that this thread is spinning (on x86 a pause: the other hardware thread of the core
// runs meanwhile); elsewhere nothing.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

pthread_mutex_t* mutexIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

void makeRecursiveMutex(unsigned char* storage) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}
} // namespace

RecursiveLock::RecursiveLock(unsigned spinAttempts) : m_spinAttempts(spinAttempts) {
    makeRecursiveMutex(m_storage);
}

RecursiveLock::~RecursiveLock() {
    pthread_mutex_destroy(mutexIn(m_storage));
}
void RecursiveLock::lock() {
    pthread_mutex_t* mutex = mutexIn(m_storage);
    // A held lock is tried again after 1, 2, then 4 pauses (a pause takes from a few to some tens of
    // nanoseconds): tries that leave the holder's cache line alone in between, and a spin that gives up
    // after some microseconds at most, when the holder is more likely not running at all.
    for (unsigned attempt = 0; attempt < m_spinAttempts; ++attempt) {
        if (pthread_mutex_trylock(mutex) == 0)
            return;
        const unsigned pauses = 1u << (attempt < 2 ? attempt : 2);
        for (unsigned i = 0; i < pauses; ++i)
            cpuRelax();
    }
    pthread_mutex_lock(mutex);
}
bool RecursiveLock::tryLock() {
    return pthread_mutex_trylock(mutexIn(m_storage)) == 0;
}
void RecursiveLock::unlock() {
    pthread_mutex_unlock(mutexIn(m_storage));
}
// The mutex the parent's threads left (perhaps held by one that does not exist here) is simply made anew:
// destroying a held mutex is not allowed, and no thread can be waiting for it.
void RecursiveLock::resetInForkedChild() {
    makeRecursiveMutex(m_storage);
}

} // namespace platform
