#include "platform.h"

#include <windows.h>

#include <new>

namespace platform {

LocalTime localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth,  now.wDay,    now.wDayOfWeek,
                     now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

LocalTime localTimeToTheSecond() {
    return localTime(); // GetLocalTime is cheap already
}

std::int64_t systemSecondsNow() {
    return systemTimeTicks() / 10000000; // GetLocalTime reads the same system time
}

LocalTime localTimeOfSystemSecond(std::int64_t systemSecond) {
    // As GetLocalTime makes the local time from the system time: with the bias in force now.
    const auto ticks = static_cast<std::uint64_t>(systemSecond) * 10000000u;
    FILETIME system{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME local{};
    SYSTEMTIME fields{};
    if (!FileTimeToLocalFileTime(&system, &local) || !FileTimeToSystemTime(&local, &fields))
        return localTime();
    return LocalTime{fields.wYear, fields.wMonth,  fields.wDay,    fields.wDayOfWeek,
                     fields.wHour, fields.wMinute, fields.wSecond, 0};
}

std::int64_t systemTimeTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                                     now.dwLowDateTime);
}

void sleepMilliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

static_assert(sizeof(CRITICAL_SECTION) <= 56, "RecursiveLock storage too small");

namespace {
CRITICAL_SECTION* sectionIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
} // namespace

RecursiveLock::RecursiveLock(unsigned spinAttempts) : m_spinAttempts(spinAttempts) {
    // The section spins by itself: spin counts in its own unit (tries of a lock word), a few per attempt.
    // A lock that does not spin is made as before.
    CRITICAL_SECTION* section = new (m_storage) CRITICAL_SECTION;
    if (spinAttempts == 0)
        InitializeCriticalSection(section);
    else
        InitializeCriticalSectionAndSpinCount(section, spinAttempts * 64);
}
RecursiveLock::~RecursiveLock() {
    DeleteCriticalSection(sectionIn(m_storage));
}
void RecursiveLock::lock() {
    EnterCriticalSection(sectionIn(m_storage));
}
bool RecursiveLock::tryLock() {
    return TryEnterCriticalSection(sectionIn(m_storage)) != FALSE;
}
void RecursiveLock::unlock() {
    LeaveCriticalSection(sectionIn(m_storage));
}
void RecursiveLock::resetInForkedChild() {} // Windows has no fork

} // namespace platform
