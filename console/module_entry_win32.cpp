// The DLL entry of Console.dll: records the module's instance handle. The module-wide objects are built
// and destroyed by the runtime (state/console_state.cpp), not here.
#include "platform.h"
#include "state/console_state.h"

#include <windows.h>

// Console throws "Dead Reference Detected" at callers after its unload at process exit: its unwind tables
// must outlast that unload (32-bit Windows).
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
        platform::keepUnwindTablesUntilProcessExit();
    } else if (reason == DLL_PROCESS_DETACH) {
        // reserved is set when the process ends, null for FreeLibrary.
        platform::releaseUnwindTables(reserved != nullptr);
    }
    return TRUE;
}
