#include "smoke_platform.h"

#include "Console.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
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

bool libraryVersionResource(const std::string& baseName, VersionResource& resource, std::string& detail) {
    char path[MAX_PATH];
    const std::string name = baseName + ".dll";
    HMODULE module = GetModuleHandleA(name.c_str());
    DWORD length = module ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
    if (length == 0 || length == MAX_PATH) {
        detail = name + " is not loaded";
        return false;
    }
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(path, &ignored));
    if (block.empty() || !GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data())) {
        detail = name + " has no version resource";
        return false;
    }
    void* data = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(block.data(), "\\", &data, &size) || size < sizeof(VS_FIXEDFILEINFO)) {
        detail = name + ": no fixed file information";
        return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
    auto numbers = [](DWORD high, DWORD low) {
        return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
               std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
    };
    resource.fixedFileVersion = numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    resource.fixedProductVersion = numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    // The strings of the block the first translation names.
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &data, &size) ||
        size < 2 * sizeof(WORD)) {
        detail = name + ": no translation";
        return false;
    }
    const WORD* translation = static_cast<const WORD*>(data);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    auto text = [&](const char* key) {
        const std::string query = prefix + std::string(key);
        void* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueA(block.data(), query.c_str(), &value, &chars) || value == nullptr)
            return std::string();
        return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), chars));
    };
    resource.fileVersion = text("FileVersion");
    resource.productVersion = text("ProductVersion");
    resource.originalFilename = text("OriginalFilename");
    resource.legalCopyright = text("LegalCopyright");
    detail = path;
    return true;
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
