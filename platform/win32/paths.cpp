#include "platform.h"

#include <windows.h>

namespace platform {

char pathSeparator() {
    return '\\';
}
bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string userConfigDirectory() {
    auto appData = environmentVariable("APPDATA");
    return appData ? *appData : std::string();
}

std::string executablePath() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    // A full buffer means the path was cut: treat it as unknown rather than use a wrong one.
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(buffer, length);
}

std::size_t maxPathLength() {
    return MAX_PATH - 1;
}

std::string sharedLibraryFileName(const std::string& baseName) {
    return baseName + ".dll";
}

} // namespace platform

namespace platform {

std::string temporaryDirectory() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH)
        return std::string(".");
    return std::string(buffer, length);
}

} // namespace platform
