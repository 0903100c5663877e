#include "crash_ways.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace {

// An address no page is ever mapped at, not null: a sanitizer checks stores through null pointers itself
// and ends the process before the fault.
int* volatile nowhere = reinterpret_cast<int*>(std::uintptr_t{16});
// Both read at run time: a known dividend lets the compiler divide without the instruction that faults.
volatile int dividend = 7;
volatile int zero = 0;
volatile int sink = 0;
// Always true; read through volatile, so that the compiler cannot see the recursion never ends.
volatile bool deeper = true;

// Not a tail call, and each frame holds a buffer: the stack runs out after some thousands of calls.
int recurseForever(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return deeper ? recurseForever(depth + 1) + frame[0] : frame[0];
}

[[noreturn]] void throwUncaught() noexcept(false) {
    throw std::runtime_error("nothing catches this");
}

struct Way {
    const char* name;
    void (*crash)();
};

const Way kWays[] = {
    {"segv", [] { *nowhere = 1; }},          {"ill", [] { __builtin_trap(); }},
    {"fpe", [] { sink = dividend / zero; }}, {"abort", [] { std::abort(); }},
    {"throw", [] { throwUncaught(); }},      {"stack-overflow", [] { sink = recurseForever(0); }},
};

} // namespace

bool IsCrashWay(const std::string& way) {
    for (const Way& known : kWays) {
        if (way == known.name)
            return true;
    }
    return false;
}

void CrashBy(const std::string& way) {
    for (const Way& known : kWays) {
        if (way == known.name)
            known.crash();
    }
}
