#include "crash_ways.h"

#include <windows.h>

namespace {

LONG WINAPI onOwnFault(EXCEPTION_POINTERS*) {
    static const char kText[] = "own fault handler\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), kOwnFaultHandlerExitCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void InstallOwnFaultHandler() {
    SetUnhandledExceptionFilter(onOwnFault);
}
