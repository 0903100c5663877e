#include "platform.h"

#include <windows.h>

#include <vector>

namespace platform {

bool systemErrorText(long code, std::string& text) {
    char* message = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<char*>(&message), 0, nullptr);
    if (length == 0 || !message)
        return false;
    text.assign(message, length);
    LocalFree(message);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return true;
}

std::string narrowFromUtf16(const unsigned short* text) {
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    int characters = lstrlenW(wide);
    std::vector<char> buffer(static_cast<std::size_t>(characters) * 2 + 2);
    int length = WideCharToMultiByte(CP_ACP, 0, wide, characters, buffer.data(),
                                     static_cast<int>(buffer.size()), nullptr, nullptr);
    return std::string(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0u);
}

} // namespace platform
