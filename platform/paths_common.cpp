// Path helpers that are the same on every platform, given its separators.
#include "platform.h"

namespace platform {

std::string joinPath(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    if (isPathSeparator(a.back()))
        return a + b;
    return a + pathSeparator() + b;
}

std::string parentDirectory(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1]))
            return path.substr(0, i - 1);
    }
    return std::string();
}

} // namespace platform
