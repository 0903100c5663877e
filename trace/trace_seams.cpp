#include "trace_seams.h"

#include <cstdio>

namespace {

class SystemLocalTime final : public TraceClock {
public:
    platform::LocalTime Now() const override { return platform::localTimeToTheSecond(); }
};

class StandardOutputStream final : public ConsoleOutput {
public:
    void Write(const char* text) override { std::printf("%s", text); }
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
