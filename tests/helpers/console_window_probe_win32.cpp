#include "console_window_probe.h"

#include <windows.h>

#include <chrono>
#include <thread>

void* FindConsoleWindow() {
    return FindWindowA("PLCONSOLEWINDOW", nullptr);
}

void CloseConsoleWindow(void* window) {
    HWND handle = static_cast<HWND>(window);
    PostMessageA(handle, WM_CLOSE, 0, 0);
    for (int i = 0; i < 2000 && IsWindow(handle); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::string ConsoleViewText(void* window) {
    HWND view = GetDlgItem(static_cast<HWND>(window), 1);
    if (!view)
        return std::string();
    int length = static_cast<int>(SendMessageA(view, WM_GETTEXTLENGTH, 0, 0));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = static_cast<int>(SendMessageA(view, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                            reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}
