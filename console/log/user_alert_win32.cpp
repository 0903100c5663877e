#include "user_alert.h"

#include "module.h"

#include <windows.h>

void ShowUserAlert(CLog::LogSeverity, const char* text) {
    char caption[MAX_PATH] = "";
    GetModuleFileNameA(static_cast<HMODULE>(moduleInstance), caption, MAX_PATH);
    MessageBoxA(GetActiveWindow(), text, caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
