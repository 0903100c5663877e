#include "platform.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {

// Adds what one WriteFile wrote to written; false when it failed.
bool writeAll(HANDLE file, const char* data, std::size_t size, DWORD& written) {
    if (size == 0)
        return true;
    DWORD done = 0;
    bool ok = WriteFile(file, data, static_cast<DWORD>(size), &done, nullptr) != FALSE;
    written += done;
    return ok;
}

} // namespace

std::size_t appendWriteThrough(const char* path, const char* prefix, std::size_t prefixSize, const char* text,
                               std::size_t textSize) {
    // Append access only: every write lands at the end of the file, so processes sharing the file never
    // overwrite each other's text. Write sharing lets them do so at the same time; readers that refuse
    // writers are refused while it is open.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // Only a file on a disk: not a device ("NUL", "CON", a port) or a pipe.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return 0;
    }
    // One write-through write costs one trip to the disk: join short pieces first.
    char joined[4096];
    DWORD written = 0;
    if (prefixSize + textSize <= sizeof joined) {
        std::memcpy(joined, prefix, prefixSize);
        std::memcpy(joined + prefixSize, text, textSize);
        writeAll(file, joined, prefixSize + textSize, written);
    } else {
        writeAll(file, prefix, prefixSize, written) && writeAll(file, text, textSize, written);
    }
    CloseHandle(file);
    return written;
}

void debuggerOutput(const char* text) {
    OutputDebugStringA(text);
}

namespace {

using AMGetErrorTextFunction = DWORD(WINAPI*)(HRESULT, LPSTR, DWORD);

// quartz.dll is loaded on first use and stays loaded for the life of the process.
AMGetErrorTextFunction findAMGetErrorText() {
    HMODULE quartz = LoadLibraryA("quartz.dll");
    if (!quartz)
        return nullptr;
    FARPROC address = GetProcAddress(quartz, "AMGetErrorTextA");
    AMGetErrorTextFunction function = nullptr;
    static_assert(sizeof function == sizeof address, "function pointer sizes differ");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

} // namespace

void mediaErrorText(long error, char* buffer, std::size_t capacity) {
    if (capacity == 0)
        return;
    buffer[0] = '\0';
    static const AMGetErrorTextFunction getErrorText = findAMGetErrorText();
    if (!getErrorText)
        return;
    if (getErrorText(static_cast<HRESULT>(error), buffer, static_cast<DWORD>(capacity)) == 0)
        buffer[0] = '\0';
    buffer[capacity - 1] = '\0';
}

} // namespace platform
