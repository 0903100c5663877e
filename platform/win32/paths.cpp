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

std::string userSettingsFolder(const std::string& applicationName) {
    const std::string base = userConfigDirectory();
    return base.empty() ? std::string() : joinPath(base, applicationName);
}

std::string executablePath() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    // A full buffer means the path was cut: treat it as unknown rather than use a wrong one.
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(buffer, length);
}

std::string longExecutablePath() {
    // The buffer grows until the whole path fits, up to the longest path the system has.
    for (DWORD size = 2 * MAX_PATH; size <= 65536; size *= 2) {
        std::string buffer(size, '\0');
        DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0)
            return std::string();
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
    }
    return std::string();
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
