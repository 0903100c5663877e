#include "text_console.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

BOOL WINAPI onConsoleEvent(DWORD controlType) {
    return TraceConsoleHandler(controlType) ? TRUE : FALSE;
}

// Binds the run-time library's standard output to the process's standard output handle as it stands: the
// new console's, or the host's own when it redirected standard output (the redirect is kept). The
// descriptor made for the handle is never released: the handle belongs to the process.
void bindStandardOutput() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    std::fflush(stdout);
    int target = _fileno(stdout);
    if (target < 0 || reinterpret_cast<HANDLE>(_get_osfhandle(target)) != output) {
        int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(output), _O_TEXT);
        if (descriptor < 0)
            return;
        // A process that had no standard output (a GUI host) has no descriptor behind stdout yet.
        if (target < 0 && std::freopen("NUL", "w", stdout))
            target = _fileno(stdout);
        if (target < 0 || _dup2(descriptor, target) != 0)
            return;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0); // shown at once
}

} // namespace

void AttachTextConsole() {
    AllocConsole(); // fails when the process has one already: it is used as it is
    bindStandardOutput();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void DetachTextConsole() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    FreeConsole();
}
