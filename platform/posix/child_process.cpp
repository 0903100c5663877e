#include "child_process.h"

#include "platform.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

std::vector<std::string> mergedEnvironment(const EnvironmentChanges& changes) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text(*entry);
        std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
    }
    std::vector<std::string> merged;
    for (const auto& [name, value] : variables)
        merged.push_back(name + "=" + value);
    return merged;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int exitCodeFromStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const EnvironmentChanges& environment)
    : m_outputPath(detail::uniqueCapturePath(".out")), m_errorsPath(detail::uniqueCapturePath(".err")) {
    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = mergedEnvironment(environment);
    std::vector<char*> argv = pointersTo(argumentTexts);
    std::vector<char*> envp = pointersTo(environmentTexts);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    m_started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (m_started)
        m_process = pid;
}

ChildProcess::~ChildProcess() {
    if (m_started && !m_ended)
        kill();
    deleteFile(m_outputPath);
    deleteFile(m_errorsPath);
}

bool ChildProcess::wait(unsigned timeoutMilliseconds) {
    if (!m_started || m_ended)
        return m_ended;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(static_cast<pid_t>(m_process), &status, WNOHANG);
        if (done == static_cast<pid_t>(m_process)) {
            m_ended = true;
            m_exitCode = exitCodeFromStatus(status);
            return true;
        }
        if (done < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ChildProcess::kill() {
    if (!m_started || m_ended)
        return;
    ::kill(static_cast<pid_t>(m_process), SIGKILL);
    int status = 0;
    while (::waitpid(static_cast<pid_t>(m_process), &status, 0) < 0 && errno == EINTR) {
    }
    m_ended = true;
    m_exitCode = exitCodeFromStatus(status);
}

} // namespace platform
