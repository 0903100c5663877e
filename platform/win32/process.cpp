#include "platform.h"

#include <windows.h>

namespace platform {

char* processCommandLine() {
    return GetCommandLineA();
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
