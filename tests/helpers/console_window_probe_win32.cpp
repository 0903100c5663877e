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

void* CreatePluginMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 9000, "Hello");
    return menu;
}

std::string DescribeConsoleMenu(void* window) {
    // Shown only once its creation, menus included, is complete.
    for (int i = 0; i < 500 && !IsWindowVisible(static_cast<HWND>(window)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    HMENU bar = GetMenu(static_cast<HWND>(window));
    std::string text;
    char item[64];
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        GetMenuStringA(bar, static_cast<UINT>(i), item, sizeof item, MF_BYPOSITION);
        text += (i ? "|" : "") + std::string(item);
    }
    text += "\n";
    HMENU reports = GetSubMenu(bar, 2);
    for (int i = 1; i < GetMenuItemCount(reports); ++i) {
        GetMenuStringA(reports, static_cast<UINT>(i), item, sizeof item, MF_BYPOSITION);
        text += std::to_string(GetMenuItemID(reports, i)) + ":" + item + ",";
    }
    return text;
}
