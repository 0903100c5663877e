#include "platform.h"

#include <climits>
#include <unistd.h>

namespace platform {

char pathSeparator() {
    return '/';
}
bool isPathSeparator(char c) {
    return c == '/';
}

std::string userConfigDirectory() {
    auto xdg = environmentVariable("XDG_CONFIG_HOME");
    if (xdg && !xdg->empty())
        return *xdg;
    auto home = environmentVariable("HOME");
    if (home && !home->empty())
        return joinPath(*home, ".config");
    return std::string();
}

std::string userSettingsFolder(const std::string& applicationName) {
    const std::string base = userConfigDirectory();
    if (base.empty())
        return std::string();
    std::string name = applicationName;
    for (char& c : name)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return joinPath(base, name);
}

std::string executablePath() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    // A path that fills the buffer may have been cut: treat it as unknown rather than use a wrong one.
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string longExecutablePath() {
    // The kernel reports no longer path than PATH_MAX.
    return executablePath();
}

std::size_t maxPathLength() {
    return PATH_MAX - 1;
}

std::string sharedLibraryFileName(const std::string& baseName) {
    return "lib" + baseName + ".so";
}

} // namespace platform

namespace platform {

std::string temporaryDirectory() {
    auto tmp = environmentVariable("TMPDIR");
    return tmp && !tmp->empty() ? *tmp : std::string("/tmp");
}

} // namespace platform
