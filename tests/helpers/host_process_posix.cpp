#include "host_process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool RedirectStandardOutputToUnreadPipe() {
    int ends[2];
    if (::pipe(ends) != 0)
        return false;
    // The reading end stays open (and is never read): writes block rather than fail.
    return ::dup2(ends[1], STDOUT_FILENO) == STDOUT_FILENO;
}

bool CanFork() {
    return true;
}

int RunInForkedChild(const std::function<int()>& body, unsigned limitMilliseconds) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0)
        std::exit(body());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
