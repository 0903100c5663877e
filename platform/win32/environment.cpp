#include "platform.h"

#include <windows.h>

#include <vector>

namespace platform {

std::optional<std::string> environmentVariable(const char* name) {
    std::vector<char> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
                return std::nullopt;
            return std::string(); // set, but empty
        }
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length); // too small: length is the size needed, NUL included
    }
}

bool setEnvironmentVariable(const char* name, const char* value) {
    return SetEnvironmentVariableA(name, value) != FALSE;
}

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

} // namespace platform
