// Fatal signals: a handler chained in front of the one in place, on an alternate stack, bounded by an alarm.
#include "platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

struct FatalSignal {
    int number;
    const char* name;
};
constexpr FatalSignal kFatalSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGILL, "SIGILL"}, {SIGFPE, "SIGFPE"}, {SIGABRT, "SIGABRT"}};
constexpr std::size_t kSignalCount = std::size(kFatalSignals);

// Large enough for the handler's own work (writing files through the C library), which runs on it.
constexpr std::size_t kFaultStackBytes = 256 * 1024;

FatalFaultHandler faultHandler = nullptr;
unsigned limitSeconds = 1;
struct sigaction previousActions[kSignalCount];
bool installed[kSignalCount] = {};
struct sigaction previousAlarm;
// The thread inside the handler (0: none), the signal it handles, and whether its handler has finished.
std::atomic<long> handlingThread{0};
std::atomic<int> handledSignal{0};
std::atomic<bool> handlerDone{false};
// The alternate stack given to the thread that started the watch (null: it had one already).
void* installerStack = nullptr;

long threadId() {
    return static_cast<long>(::syscall(SYS_gettid));
}

std::size_t indexOf(int signal) {
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (kFatalSignals[i].number == signal)
            return i;
    }
    return kSignalCount;
}

// Async-signal-safe text building: no formatter.
class LineBuilder {
public:
    LineBuilder(char* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {
        m_buffer[0] = 0;
    }

    LineBuilder& text(const char* text) {
        while (*text && m_length + 1 < m_capacity)
            m_buffer[m_length++] = *text++;
        m_buffer[m_length] = 0;
        return *this;
    }
    LineBuilder& decimal(unsigned long value) {
        char digits[24];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        char reversed[24];
        for (std::size_t i = 0; i < count; ++i)
            reversed[i] = digits[count - 1 - i];
        reversed[count] = 0;
        return text(reversed);
    }
    LineBuilder& hexadecimal(std::uintptr_t value) {
        char digits[2 + 2 * sizeof value + 1] = "0x";
        for (std::size_t i = 0; i < 2 * sizeof value; ++i)
            digits[2 + i] = "0123456789abcdef"[(value >> (4 * (2 * sizeof value - 1 - i))) & 0xF];
        digits[sizeof digits - 1] = 0;
        return text(digits);
    }

private:
    char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
};

void setAction(int signal, const struct sigaction& action) {
    ::sigaction(signal, &action, nullptr);
}

// Ends the process at once as the signal's default action does.
[[noreturn]] void endBySignal(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    setAction(signal, fallback);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal); // a signal whose default action does not end the process
}

// What was in place before runs: a handler is called as the system would call it; the default action
// happens as the handler returns (the signal is blocked until then), so core dumps and exit status are the
// fault's own.
void chainToPrevious(int signal, siginfo_t* info, void* context) {
    const struct sigaction previous = previousActions[indexOf(signal)];
    setAction(signal, previous);
    if (previous.sa_handler == SIG_IGN)
        return; // a fault that comes again is then the system's to end
    if (previous.sa_handler == SIG_DFL) {
        ::raise(signal);
        return;
    }
    if (previous.sa_flags & SA_SIGINFO)
        previous.sa_sigaction(signal, info, context);
    else
        previous.sa_handler(signal);
}

// The handler ran past its limit: the process ends as the fault would have ended it.
extern "C" void onHandlerLimit(int) {
    endBySignal(handledSignal.load());
}

void armLimit() {
    struct sigaction alarmAction {};
    alarmAction.sa_handler = onHandlerLimit;
    sigemptyset(&alarmAction.sa_mask);
    alarmAction.sa_flags = SA_ONSTACK;
    ::sigaction(SIGALRM, &alarmAction, &previousAlarm);
    ::alarm(limitSeconds);
}

void disarmLimit() {
    ::alarm(0);
    setAction(SIGALRM, previousAlarm);
}

void describe(int signal, const siginfo_t* info, long thread, char* line, std::size_t capacity) {
    LineBuilder builder(line, capacity);
    builder.text("Crash: signal ").decimal(static_cast<unsigned long>(signal)).text(" (");
    builder.text(kFatalSignals[indexOf(signal)].name).text(")");
    if (signal != SIGABRT)
        builder.text(", fault address ").hexadecimal(reinterpret_cast<std::uintptr_t>(info->si_addr));
    builder.text(", thread ").decimal(static_cast<unsigned long>(thread));
}

extern "C" void onFatalSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const long self = threadId();
    long none = 0;
    if (!handlingThread.compare_exchange_strong(none, self)) {
        if (none == self)
            endBySignal(signal); // a fault inside the handler
        while (!handlerDone.load())
            sleepMilliseconds(10); // the first fault's handler is bounded by its alarm
        chainToPrevious(signal, info, context);
        errno = savedErrno;
        return;
    }
    handledSignal.store(signal);
    armLimit();
    char line[160];
    describe(signal, info, self, line, sizeof line);
    faultHandler(line);
    disarmLimit();
    handlerDone.store(true);
    chainToPrevious(signal, info, context);
    errno = savedErrno;
}

bool isOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == onFatalSignal;
}

} // namespace

bool watchForFatalFaults(FatalFaultHandler handler, unsigned limitMilliseconds) {
    faultHandler = handler;
    limitSeconds = limitMilliseconds == 0 ? 1u : (limitMilliseconds + 999) / 1000;
    installerStack = giveThreadFaultStack();
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    bool any = false;
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        installed[i] = ::sigaction(kFatalSignals[i].number, &action, &previousActions[i]) == 0;
        any = any || installed[i];
    }
    return any;
}

void stopWatchingFatalFaults() {
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (!installed[i])
            continue;
        installed[i] = false;
        struct sigaction current {};
        if (::sigaction(kFatalSignals[i].number, nullptr, &current) == 0 && isOurs(current))
            setAction(kFatalSignals[i].number, previousActions[i]);
    }
    releaseThreadFaultStack(installerStack);
    installerStack = nullptr;
}

void* giveThreadFaultStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE))
        return nullptr; // the thread has one (the host's, or a sanitizer's)
    void* memory =
        ::mmap(nullptr, kFaultStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = kFaultStackBytes;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(memory, kFaultStackBytes);
        return nullptr;
    }
    return memory;
}

// Only the thread's own stack is taken back: a stack another thread still has stays mapped (it is small).
void releaseThreadFaultStack(void* stack) {
    if (!stack)
        return;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || current.ss_sp != stack || (current.ss_flags & SS_ONSTACK))
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (::sigaltstack(&off, nullptr) == 0)
        ::munmap(stack, kFaultStackBytes);
}

} // namespace platform
