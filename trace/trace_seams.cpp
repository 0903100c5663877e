#include "trace_seams.h"

#include "trace_time.h"

#include <cstdio>

namespace {

class SystemLocalTime final : public TraceClock {
public:
    platform::LocalTime Now() const override { return platform::localTimeToTheSecond(); }
    // The system's seconds, from the clock Now() reads: the local time shows the same second exactly while
    // they stay the same.
    std::uint64_t SecondKey() const override {
        return static_cast<std::uint64_t>(platform::systemSecondsNow()) << 1;
    }
};

class StandardOutputStream final : public ConsoleOutput {
public:
    // fputs, not printf("%s"): glibc's printf writes a long text to an unbuffered stream in pieces,
    // between which another thread's text can fall; fputs writes it whole under the stream's lock.
    void Write(const char* text) override { std::fputs(text, stdout); }
    void Flush() override { std::fflush(stdout); }
};

} // namespace

std::uint64_t TraceClock::SecondKey() const {
    return TraceSecondKey(Now());
}

const TraceClock& SystemClock() {
    static const SystemLocalTime clock;
    return clock;
}

ConsoleOutput& StandardOutput() {
    static StandardOutputStream output;
    return output;
}
