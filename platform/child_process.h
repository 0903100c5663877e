// Child processes for test programs: start a helper host with the arguments and environment of a case,
// wait for it (with a limit), kill it, and read what it wrote to standard output and standard error.
//
// Output goes to temporary files rather than pipes, so a chatty child never blocks on a full pipe.
// One object is used by one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Changes to the child's environment: a value sets the variable, nothing removes it.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const EnvironmentChanges& environment = {});
    ~ChildProcess(); // kills a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_started; }
    // Waits until the child ends or the time runs out; true when it ended.
    bool wait(unsigned timeoutMilliseconds);
    void kill();
    // The exit code once ended (-1 before; the signal number + 128 for a child killed by a signal on Linux).
    int exitCode() const { return m_exitCode; }
    std::string output() const;
    std::string errors() const;

private:
    bool m_started = false;
    bool m_ended = false;
    int m_exitCode = -1;
    std::intptr_t m_process = -1; // process HANDLE or pid
    std::string m_outputPath;
    std::string m_errorsPath;
};

struct ProcessResult {
    bool finished = false; // false: not started, or killed after the time ran out
    int exitCode = -1;
    std::string output;
    std::string errors;
};

namespace detail {
// A capture file name no other child of any process uses at the same time.
std::string uniqueCapturePath(const char* suffix);
} // namespace detail

// Runs a child to its end (killing it after the limit) and collects what it wrote.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const EnvironmentChanges& environment = {}, unsigned timeoutMilliseconds = 60000);

} // namespace platform
