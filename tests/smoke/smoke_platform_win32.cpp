#include "smoke_platform.h"

#include "Console.h"

#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace smoke {

namespace {

// Waits up to the time limit for a condition, checking every 50 ms.
template <typename Condition> bool waitFor(Condition condition, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string windowText(HWND window) {
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT copied = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                  reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

void setEnvironmentVariable(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
    _putenv_s(name, value); // the C runtime keeps a copy of its own for getenv
}

std::string executablePath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

bool faultingCallbacksAreCaught() {
    return true;
}

bool consoleWindowRoundTrip(const std::string& text, std::string& detail) {
    DisplayLog();
    HWND window = nullptr;
    if (!waitFor([&] { return (window = FindWindowA("PLCONSOLEWINDOW", nullptr)) != nullptr; }, 60)) {
        detail = "no window of class PLCONSOLEWINDOW within 60 s (is there an X display?)";
        return false;
    }
    // The view is created and filled on the window's thread after the window itself.
    std::string shown;
    auto viewShowsText = [&] {
        HWND view = GetDlgItem(window, 1);
        shown = view ? windowText(view) : std::string();
        return shown.find(text) != std::string::npos;
    };
    if (!waitFor(viewShowsText, 30)) {
        detail = "the view does not show \"" + text + "\": [" + shown + "]";
        PostMessageA(window, WM_CLOSE, 0, 0);
        return false;
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (!waitFor([&] { return !IsWindow(window); }, 30)) {
        detail = "the window did not close within 30 s";
        return false;
    }
    detail = "opened, showed the log, closed";
    return true;
}

std::string consoleLibraryPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(GetModuleHandleA("Console.dll"), path, MAX_PATH);
    return std::string(path, length);
}

ChildResult runProgramBeside(const std::string& name, const std::vector<std::string>& arguments,
                             int timeoutSeconds) {
    ChildResult result;
    const std::string self = executablePath();
    const std::string program = self.substr(0, self.find_last_of("\\/") + 1) + name + ".exe";
    const std::string outputPath = program + ".output.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        result.output = "cannot create " + outputPath;
        return result;
    }
    std::string commandLine = quoteArgument(program);
    for (const std::string& argument : arguments)
        commandLine += " " + quoteArgument(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(output);
    if (!started) {
        result.output = "cannot start: error " + std::to_string(GetLastError());
        return result;
    }
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.finished = true;
        result.exitCode = static_cast<int>(code);
    } else {
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, 10000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream in(outputPath, std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return result;
}

} // namespace smoke
