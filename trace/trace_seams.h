// The clock and the console output of Trace: the two ways CTrace reaches outside itself that tests
// replace (CTrace::SetClock, CTrace::SetConsoleOutput).
//
// Threads: a CTrace calls both from every thread that traces and from its print thread, at the same time,
// so an implementation must be safe to call from any thread. They are called for every message: keep them
// cheap and free of allocation. CTrace holds an installed object by address; its installer owns it and
// keeps it alive while the CTrace may use it.
#pragma once

#include "platform.h"

#include <cstdint>

// Where Trace takes the local time from, for all it writes: the time prefix of a message (on the caller's
// thread), the time stamp of every line of the output file and of the trace files, and the times in the
// trace files' names and periods. TraceGetTime answers a host with the system's time directly.
class TraceClock {
public:
    virtual platform::LocalTime Now() const = 0;
    // A number for the second Now() shows, for a caller that only wants to know whether it moved on:
    // equal numbers mean that Now() shows the same time to the second; 0 means no number can be given
    // (ask Now()). By default the number is made from Now()'s fields; a clock with a cheaper way answers
    // with an even number, so that its numbers never meet the default's.
    virtual std::uint64_t SecondKey() const;

protected:
    ~TraceClock() = default;
};

// Where the text goes that Trace shows on the console.
class ConsoleOutput {
public:
    virtual void Write(const char* text) = 0;
    // Hands what was written to the system (a crash ends the process without flushing streams).
    virtual void Flush() {}

protected:
    ~ConsoleOutput() = default;
};

// The system's local time, to the second (Trace writes whole seconds only).
const TraceClock& SystemClock();
// The process's standard output, written through the C runtime's stdout.
ConsoleOutput& StandardOutput();
