#include "platform.h"

#include <cstdlib>
#include <unistd.h>

namespace platform {

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

bool setEnvironmentVariable(const char* name, const char* value) {
    if (!value)
        return ::unsetenv(name) == 0;
    return ::setenv(name, value, 1) == 0;
}

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

} // namespace platform
