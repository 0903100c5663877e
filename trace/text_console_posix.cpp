#include "text_console.h"

#include "platform.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

// The signals that stand for console events, and the events they stand for.
struct SignalEvent {
    int signal;
    unsigned long controlType;
};
constexpr SignalEvent kSignalEvents[] = {
    {SIGINT, kConsoleCtrlC}, {SIGHUP, kConsoleClose}, {SIGTERM, kConsoleShutdown}};
constexpr unsigned char kQuit = 0;

int pipeEnds[2] = {-1, -1};

// Async-signal-safe: one write to the pipe; the watcher does the tracing.
extern "C" void onSignal(int signal) {
    int saved = errno;
    unsigned char number = static_cast<unsigned char>(signal);
    ssize_t ignored = ::write(pipeEnds[1], &number, 1);
    (void)ignored;
    errno = saved;
}

unsigned watchSignals(void*) {
    for (;;) {
        unsigned char number = 0;
        ssize_t got = ::read(pipeEnds[0], &number, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || number == kQuit)
            return 0;
        for (const SignalEvent& event : kSignalEvents) {
            if (event.signal == number)
                TraceConsoleHandler(event.controlType);
        }
    }
}

void detachWatcherInForkedChild();

// The watcher thread and the saved handlers; the watcher ends before the library unloads.
class SignalWatcher {
public:
    SignalWatcher() { platform::callAroundFork(nullptr, nullptr, detachWatcherInForkedChild); }
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    ~SignalWatcher() {
        Restore();
        if (m_thread.started()) {
            unsigned char quit = kQuit;
            ssize_t ignored = ::write(pipeEnds[1], &quit, 1);
            (void)ignored;
            m_thread.join();
        }
    }

    void Install() {
        if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC) != 0)
            return;
        if (!m_thread.started() && !m_thread.start(watchSignals, nullptr))
            return;
        if (m_installed)
            return;
        for (std::size_t i = 0; i < std::size(kSignalEvents); ++i) {
            struct sigaction action {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(kSignalEvents[i].signal, &action, &m_previous[i]);
        }
        m_installed = true;
    }

    void Restore() {
        if (!m_installed)
            return;
        for (std::size_t i = 0; i < std::size(kSignalEvents); ++i)
            sigaction(kSignalEvents[i].signal, &m_previous[i], nullptr);
        m_installed = false;
    }

    // In the child of fork() the watcher thread does not exist, and the pipe is the parent's too: the
    // child's signals would be traced by the parent, and the child's end would end the parent's watcher.
    // The child lets go of both, and its signals get their previous handling back, as after
    // TraceCloseConsole (TraceOpenConsole in the child attaches anew). No thread is started here: the
    // child may hold nothing but the forking thread until it has left fork().
    void DetachInForkedChild() {
        Restore();
        m_thread.forgetInForkedChild();
        for (int& end : pipeEnds) {
            if (end >= 0)
                ::close(end);
            end = -1;
        }
    }

private:
    platform::Thread m_thread;
    struct sigaction m_previous[std::size(kSignalEvents)]{};
    bool m_installed = false;
};

SignalWatcher watcher;

void detachWatcherInForkedChild() {
    watcher.DetachInForkedChild();
}

} // namespace

void AttachTextConsole() {
    watcher.Install();
}

void DetachTextConsole() {
    watcher.Restore();
}
