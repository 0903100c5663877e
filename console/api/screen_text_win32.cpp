// CS_TRACEDD on Windows: text drawn straight onto the screen's device context.
#include "api/screen_text.h"

#include "win32/handles_win32.h"

#include <windows.h>

void DrawScreenText(long x, long y, const char* text, int count) {
    const platform::win32::ScreenDC screen;
    if (!screen.valid())
        return;
    SetBkColor(screen.get(), RGB(0, 0, 255));
    SetTextColor(screen.get(), RGB(255, 255, 0));
    TextOutA(screen.get(), static_cast<int>(x), static_cast<int>(y), text, count);
}
