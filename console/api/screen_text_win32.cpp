#include "screen_text.h"

#include <windows.h>

void DrawScreenText(long x, long y, const char* text, int count) {
    HDC screen = GetDC(nullptr);
    if (!screen)
        return;
    SetBkColor(screen, RGB(0, 0, 255));
    SetTextColor(screen, RGB(255, 255, 0));
    TextOutA(screen, static_cast<int>(x), static_cast<int>(y), text, count);
    ReleaseDC(nullptr, screen);
}
