// smoke_unload_host CONSOLE_DLL: loads Console, creates its log and frees it again, then throws and catches
// an exception of its own (the unwinder must not trip over what Console left registered); then loads the
// exit probe, then Console again, creates Console's log and ends. At the end Console is unloaded first (its
// log destroyed), then the probe, which asks for the log again.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

class CLog;

namespace {

bool loadUseAndFree(const char* path) {
    HMODULE console = LoadLibraryA(path);
    if (!console || !GetProcAddress(console, "_Z9CS_GetLogv"))
        return false;
    void* address = reinterpret_cast<void*>(GetProcAddress(console, "_Z9CS_GetLogv"));
    CLog& (*getLog)() = nullptr;
    std::memcpy(&getLog, &address, sizeof getLog);
    getLog();
    FreeLibrary(console);
    try {
        throw std::runtime_error("after the unload");
    } catch (const std::runtime_error&) {
        return true;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    if (loadUseAndFree(argv[1]))
        std::fprintf(stderr, "freed, and exceptions still work\n");
    char self[MAX_PATH];
    std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    folder.resize(folder.find_last_of("\\/") + 1);
    // The probe starts first, so that it is unloaded last.
    if (!LoadLibraryA((folder + "smoke_exit_probe.dll").c_str())) {
        std::fprintf(stderr, "cannot load smoke_exit_probe.dll: error %lu\n", GetLastError());
        return 1;
    }
    HMODULE console = LoadLibraryA(argv[1]);
    void* address = console ? reinterpret_cast<void*>(GetProcAddress(console, "_Z9CS_GetLogv")) : nullptr;
    CLog& (*getLog)() = nullptr;
    std::memcpy(&getLog, &address, sizeof getLog);
    if (!getLog) {
        std::fprintf(stderr, "cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    getLog();
    std::fprintf(stderr, "log created\n");
    return 0;
}
