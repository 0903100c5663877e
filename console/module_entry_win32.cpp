// The DLL entry of Console.dll: records the module's instance handle. The module-wide objects are built
// and destroyed by the runtime (console_module.cpp), not here.
#include "module.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
