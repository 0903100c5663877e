#include "platform.h"

#include <windows.h>

#include <cstdint>

namespace platform {

char* processCommandLine() {
    return GetCommandLineA();
}

bool exitStopsThreadsAnywhere() {
    return true;
}

void watchForProcessExit() {} // a DLL's exit code knows from its entry whether the process ends

bool exitingWhileOtherThreadsRun() {
    // A DLL's exit list runs when the DLL is detached: at FreeLibrary, when no thread may be inside it, or
    // at process exit, after the system stopped the other threads. An executable's runs from exit(), while
    // they still run.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(reinterpret_cast<std::uintptr_t>(&exitingWhileOtherThreadsRun)),
            &module))
        return true;
    return module == GetModuleHandleA(nullptr);
}

std::string currentDirectory() {
    char buffer[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(buffer, length);
}

} // namespace platform

#include <shellapi.h>

namespace platform {

void openWithShell(const std::string& path) {
    ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace platform
