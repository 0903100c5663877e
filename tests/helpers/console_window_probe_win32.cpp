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

std::string DescribeEditChecks(void* window) {
    HMENU edit = GetSubMenu(GetMenu(static_cast<HWND>(window)), 1);
    std::string text;
    for (UINT command : {32779u, 32780u, 32781u, 32783u, 32784u}) {
        bool checked = (GetMenuState(edit, command, MF_BYCOMMAND) & MF_CHECKED) != 0;
        text += (text.empty() ? "" : " ") + std::to_string(command) + "=" + (checked ? "1" : "0");
    }
    return text;
}

namespace {

void press(BYTE key, bool withAlt) {
    if (withAlt)
        keybd_event(VK_MENU, 0, 0, 0);
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
    if (withAlt)
        keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
}

bool menuShown() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu);
}

} // namespace

bool OpenReportsMenuByKeys(void* window) {
    HWND handle = static_cast<HWND>(window);
    for (int i = 0; i < 500 && !IsWindowVisible(handle); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SetForegroundWindow(handle);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    press('H', true); // "&Help"
    for (int i = 0; i < 200 && !menuShown(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    press(VK_LEFT, false); // the pop-up before it: "Reports"
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return menuShown();
}

void CloseMenusByKeys() {
    for (int i = 0; i < 3 && menuShown(); ++i) {
        press(VK_ESCAPE, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    press(VK_ESCAPE, false); // the menu bar leaves its menu mode too
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void PostConsoleCommand(void* window, unsigned command) {
    PostMessageA(static_cast<HWND>(window), WM_COMMAND, command, 0);
}

bool WaitForWindowTitled(const char* title) {
    for (int i = 0; i < 1000; ++i) {
        HWND found = FindWindowA(nullptr, title);
        if (found && IsWindowVisible(found))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void DismissWindowTitled(const char* title) {
    if (HWND found = FindWindowA(nullptr, title))
        PostMessageA(found, WM_COMMAND, IDOK, 0);
}

namespace {

BOOL CALLBACK answerIfMessageBox(HWND window, LPARAM) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && std::string(name) == "#32770" && IsWindowVisible(window))
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

} // namespace

void AnswerMessageBoxes() {
    EnumWindows(answerIfMessageBox, 0);
}
