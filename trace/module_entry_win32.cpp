// The DLL entry of Trace.dll. It builds nothing (the runtime constructs the trace object); it only notes
// that the process is ending, so that the trace object's unload knows its print thread was killed.
#include "trace_instance.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        TheTrace().SetProcessTerminating();
    return TRUE;
}
