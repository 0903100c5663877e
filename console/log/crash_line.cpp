// Console at a crash of its host. Everything it writes goes through at once (the pipeline's log file and
// CLog's file are appended with write-through), so nothing of it waits to be written: its log file and
// CLog's file, when on, get one more line, naming the crash. The handling is Console's own, chained to
// whatever was in place when it loaded.
#include "api/line_pipeline.h"
#include "log/clog_lifetime.h"
#include "state/console_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The whole handling's bound, and the wait for the pipeline's lock within it (the crashing thread may
// hold it, or a thread stuck in a write): the log file's line is left out rather than waited for.
constexpr unsigned kCrashLimitMilliseconds = 5000;
constexpr unsigned kLockWaitMilliseconds = 1000;
// Set to 0 before the library loads, it leaves crashes to the host.
constexpr const char* kCrashHandlingSwitch = "PELMORA_CRASH_HANDLING";

bool pipelineLockWithin(unsigned milliseconds) CONSOLE_TRY_ACQUIRE(true, PipelineLock) {
    for (unsigned waited = 0;; ++waited) {
        if (PipelineLock.TryLock())
            return true;
        if (waited >= milliseconds)
            return false;
        platform::sleepMilliseconds(1);
    }
}

void appendToLogFile(const TimeStamp& stamp, const char* line, std::size_t length) {
    if (!consoleState.logToFile || !pipelineLockWithin(kLockWaitMilliseconds))
        return;
    if (!consoleState.logFileKept && consoleState.logFile[0])
        AppendToLogFile(stamp.text, std::string_view(line, length));
    PipelineLock.Unlock();
}

void writeCrashLine(const char* description) {
    const platform::LocalTime now = platform::localTime();
    const TimeStamp stamp = FormatTimeStamp(now.hour, now.minute, now.second);
    char line[512];
    const int length = std::snprintf(line, sizeof line, "%s\n", description);
    if (length <= 0)
        return;
    const std::size_t size = std::min(static_cast<std::size_t>(length), sizeof line - 1);
    appendToLogFile(stamp, line, size);
    char withStamp[sizeof line + TimeStamp::kLength];
    std::memcpy(withStamp, stamp.text, TimeStamp::kLength);
    std::memcpy(withStamp + TimeStamp::kLength, line, size);
    CLogLifetime::AppendCrashLine(withStamp, TimeStamp::kLength + size);
}

// Installed as the library loads; withdrawn as it unloads, so that nothing points into it afterwards. At a
// process exit the library's code stays to the end, and so does the handling.
class CrashLineWatch {
public:
    CrashLineWatch() {
        if (platform::environmentVariable(kCrashHandlingSwitch).value_or("1") != "0")
            m_watching = platform::watchForFatalFaults(writeCrashLine, kCrashLimitMilliseconds);
    }
    ~CrashLineWatch() {
        if (m_watching && !platform::exitingWhileOtherThreadsRun())
            platform::stopWatchingFatalFaults();
    }
    CrashLineWatch(const CrashLineWatch&) = delete;
    CrashLineWatch& operator=(const CrashLineWatch&) = delete;

private:
    bool m_watching = false;
};

CrashLineWatch crashLineWatch;

} // namespace
