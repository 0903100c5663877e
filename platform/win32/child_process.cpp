#include "child_process.h"

#include "platform.h"

#include <windows.h>

#include <cstring>
#include <map>

namespace platform {

namespace {

// Quotes one argument so that the C runtime of the child splits it back unchanged.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

// Windows compares variable names without case; the block must be sorted that way too.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
               CSTR_LESS_THAN;
    }
};

std::string environmentBlock(const EnvironmentChanges& changes) {
    std::map<std::string, std::string, CaseInsensitiveLess> variables;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry && *entry; entry += std::strlen(entry) + 1) {
        std::string text(entry);
        // Names such as "=C:" (per-drive folders) begin with '=': look for the separator after it.
        std::size_t equals = text.find('=', 1);
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    if (strings)
        FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : changes) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
    }
    std::string block;
    for (const auto& [name, value] : variables) {
        block += name + "=" + value;
        block += '\0';
    }
    block += '\0';
    return block;
}

HANDLE inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE processHandle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const EnvironmentChanges& environment)
    : m_outputPath(detail::uniqueCapturePath(".out")), m_errorsPath(detail::uniqueCapturePath(".err")) {
    std::string commandLine = quoteArgument(program);
    for (const auto& argument : arguments)
        commandLine += " " + quoteArgument(argument);
    std::string block = environmentBlock(environment);

    HANDLE input = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE output = inheritableFile(m_outputPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE errors = inheritableFile(m_errorsPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION info{};
    // A start Wine refuses now and then is tried again; a start that keeps failing leaves its reason in
    // the errors the caller reads.
    DWORD failure = 0;
    for (int attempt = 0; attempt < 3 && !m_started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        m_started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                   block.data(), nullptr, &startup, &info) != FALSE;
        failure = m_started ? 0 : GetLastError();
    }
    if (!m_started && errors != INVALID_HANDLE_VALUE) {
        const std::string reason = "CreateProcess failed with error " + std::to_string(failure) + "\n";
        DWORD written = 0;
        WriteFile(errors, reason.data(), static_cast<DWORD>(reason.size()), &written, nullptr);
    }
    for (HANDLE handle : {input, output, errors}) {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    if (m_started) {
        CloseHandle(info.hThread);
        m_process = reinterpret_cast<std::intptr_t>(info.hProcess);
    }
}

ChildProcess::~ChildProcess() {
    if (m_started && !m_ended)
        kill();
    if (m_started)
        CloseHandle(processHandle(m_process));
    deleteFile(m_outputPath);
    deleteFile(m_errorsPath);
}

bool ChildProcess::wait(unsigned timeoutMilliseconds) {
    if (!m_started || m_ended)
        return m_ended;
    if (WaitForSingleObject(processHandle(m_process), timeoutMilliseconds) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(processHandle(m_process), &code);
    m_ended = true;
    m_exitCode = static_cast<int>(code);
    return true;
}

void ChildProcess::kill() {
    if (!m_started || m_ended)
        return;
    TerminateProcess(processHandle(m_process), 137);
    wait(INFINITE);
}

} // namespace platform
