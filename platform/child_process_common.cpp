// The parts of ChildProcess that are the same on every platform.
#include "child_process.h"

#include "platform.h"

#include <atomic>

namespace platform {

namespace {

std::string readOrEmpty(const std::string& path) {
    std::string text;
    readWholeFile(path, text);
    return text;
}

} // namespace

std::string detail::uniqueCapturePath(const char* suffix) {
    static std::atomic<unsigned> counter{0};
    return joinPath(temporaryDirectory(), "pl-child-" + std::to_string(currentProcessId()) + "-" +
                                              std::to_string(counter++) + suffix);
}

std::string ChildProcess::output() const {
    return readOrEmpty(m_outputPath);
}
std::string ChildProcess::errors() const {
    return readOrEmpty(m_errorsPath);
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const EnvironmentChanges& environment, unsigned timeoutMilliseconds) {
    ProcessResult result;
    ChildProcess child(program, arguments, environment);
    if (!child.started()) {
        result.errors = child.errors();
        return result;
    }
    result.finished = child.wait(timeoutMilliseconds);
    if (!result.finished)
        child.kill();
    result.exitCode = child.exitCode();
    result.output = child.output();
    result.errors = child.errors();
    return result;
}

} // namespace platform
