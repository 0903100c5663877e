#include "trace_seams.h"

#include <cstdio>

namespace {

class SystemLocalTime final : public TraceClock {
public:
    platform::LocalTime Now() const override { return platform::localTimeToTheSecond(); }
};

class StandardOutputStream final : public ConsoleOutput {
public:
    // fputs, not printf("%s"): glibc's printf writes a long text to an unbuffered stream in pieces,
    // between which another thread's text can fall; fputs writes it whole under the stream's lock.
    void Write(const char* text) override { std::fputs(text, stdout); }
};

} // namespace

const TraceClock& SystemClock() {
    static const SystemLocalTime clock;
    return clock;
}

ConsoleOutput& StandardOutput() {
    static StandardOutputStream output;
    return output;
}
