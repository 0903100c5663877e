// smoke_exit_probe.dll: at the end of the process, asks Console for its log once Console has been
// unloaded. smoke_unload_host loads this DLL before Console.dll; at exit the loader unloads DLLs in the
// reverse order of their start, so this one goes after Console, whose unload destroyed the log.
#include <windows.h>

#include <cstring>
#include <stdexcept>

class CLog;

namespace {

// Standard error through the system: the C runtime is being torn down around us.
void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void probe() {
    HMODULE console = GetModuleHandleA("Console.dll");
    if (!console) {
        say("exit probe: Console.dll is gone\n");
        return;
    }
    void* address = reinterpret_cast<void*>(GetProcAddress(console, "_Z9CS_GetLogv"));
    CLog& (*getLog)() = nullptr;
    std::memcpy(&getLog, &address, sizeof getLog);
    if (!getLog) {
        say("exit probe: CS_GetLog not found\n");
        return;
    }
    try {
        getLog();
        say("exit probe: log alive\n");
    } catch (const std::logic_error& error) {
        say("exit probe: caught ");
        say(error.what());
        say("\n");
    } catch (...) {
        say("exit probe: other exception\n");
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // reserved is set when the process ends (not for FreeLibrary).
    if (reason == DLL_PROCESS_DETACH && reserved)
        probe();
    return TRUE;
}
