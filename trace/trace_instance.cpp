#include "trace_instance.h"

#include <atomic>
#include <new>

namespace {

// The crash handling's whole run, from the fault to what was in place before: a crash that would take
// longer (a console nobody reads, a lock held by a stuck thread) ends there as it would have without us.
constexpr unsigned kCrashLimitMilliseconds = 10000;
// Set to 0 before the library loads, it leaves crashes to the host: nothing is installed.
constexpr const char* kCrashHandlingSwitch = "PELMORA_CRASH_HANDLING";

bool crashHandlingWanted() {
    return platform::environmentVariable(kCrashHandlingSwitch).value_or("1") != "0";
}

void writeAtCrash(const char* description);

// The trace object in storage of its own: built when the library loads, destroyed at its unload only
// when no thread can still use it (CTrace::EndForUnload), and otherwise left to the process's end.
class TraceInstance {
public:
    TraceInstance() {
        new (m_storage) CTrace();
        m_alive = true;
        platform::callAroundFork(holdForFork, releaseAfterFork, startCleanInForkedChild);
        if (crashHandlingWanted())
            platform::watchForFatalFaults(writeAtCrash, kCrashLimitMilliseconds);
    }
    ~TraceInstance() {
        if (!Trace().EndForUnload())
            return; // the process ends: the library's code stays to the end, and so does the handling
        // Nothing may be left pointing into the library once it is unloaded.
        platform::stopWatchingFatalFaults();
        m_alive = false;
        Trace().~CTrace();
    }
    TraceInstance(const TraceInstance&) = delete;
    TraceInstance& operator=(const TraceInstance&) = delete;

    CTrace& Trace() { return *std::launder(reinterpret_cast<CTrace*>(m_storage)); }

private:
    static void holdForFork();
    static void releaseAfterFork();
    static void startCleanInForkedChild();

    alignas(CTrace) unsigned char m_storage[sizeof(CTrace)];
    // False once destroyed: a fork between the destruction and the withdrawal of the fork functions (at the
    // library's unload) finds nothing to do.
    static std::atomic<bool> m_alive;
};

std::atomic<bool> TraceInstance::m_alive{false};

// Constructed before, and so destroyed after, every other object of the library (the console watcher
// traces through it until it ends).
__attribute__((init_priority(200))) TraceInstance theTrace;

void writeAtCrash(const char* description) {
    theTrace.Trace().WriteAtCrash(description);
}

void TraceInstance::holdForFork() {
    if (m_alive)
        theTrace.Trace().HoldForFork();
}

void TraceInstance::releaseAfterFork() {
    if (m_alive)
        theTrace.Trace().ReleaseAfterFork();
}

void TraceInstance::startCleanInForkedChild() {
    if (m_alive)
        theTrace.Trace().StartCleanInForkedChild();
}

} // namespace

CTrace& TheTrace() {
    return theTrace.Trace();
}

boundary::DropCount& TraceDrops() {
    // Constant-initialised: counts from before the first constructor of the library runs.
    static boundary::DropCount drops;
    return drops;
}
