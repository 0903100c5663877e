#include "text_console.h"

#include <windows.h>

#include <cstdio>

namespace {

BOOL WINAPI onConsoleEvent(DWORD controlType) {
    return TraceConsoleHandler(controlType) ? TRUE : FALSE;
}

} // namespace

void AttachTextConsole() {
    AllocConsole(); // fails when the process has one already: it is used as it is
    // Standard output now writes to the console, unbuffered.
    if (std::freopen("CONOUT$", "w", stdout))
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void DetachTextConsole() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    FreeConsole();
}
