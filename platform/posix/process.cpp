#include "platform.h"

#include <climits>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {

namespace {

std::string quotedIfNeeded(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\f\r") == std::string::npos)
        return argument;
    return "\"" + argument + "\"";
}

std::string commandLineFromArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string line;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        if (start > 0)
            line += ' ';
        line += quotedIfNeeded(raw.substr(start, end - start));
        start = end + 1;
    }
    return line;
}

} // namespace

char* processCommandLine() {
    static std::string line = commandLineFromArguments();
    return line.data();
}

std::string currentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace platform
