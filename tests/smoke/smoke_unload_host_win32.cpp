// smoke_unload_host CONSOLE_DLL: loads the exit probe, then Console, creates Console's log and ends. At
// the end Console is unloaded first (its log destroyed), then the probe, which asks for the log again.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

class CLog;

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
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
