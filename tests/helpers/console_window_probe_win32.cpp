#include "console_window_probe.h"

#include "desktop_win32.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <thread>

void* FindConsoleWindow() {
    return FindWindowA("PLCONSOLEWINDOW", nullptr);
}

void CloseConsoleWindow(void* window) {
    testing_support::closeWindowAndWaitForItsThread(static_cast<HWND>(window), WM_CLOSE);
}

std::string ConsoleViewText(void* window) {
    HWND view = GetDlgItem(static_cast<HWND>(window), 1);
    return view ? testing_support::textOfWindow(view) : std::string();
}

void* CreatePluginMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 9000, "Hello");
    return menu;
}

std::string DescribePopupMenu(void* menu) {
    HMENU handle = static_cast<HMENU>(menu);
    if (!IsMenu(handle))
        return "destroyed";
    std::string text;
    char item[64];
    for (int i = 0; i < GetMenuItemCount(handle); ++i) {
        GetMenuStringA(handle, static_cast<UINT>(i), item, sizeof item, MF_BYPOSITION);
        text += std::to_string(GetMenuItemID(handle, i)) + ":" + item + ",";
    }
    return text;
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

bool OpenReportsMenuByKeys(void* window) {
    HWND handle = static_cast<HWND>(window);
    for (int i = 0; i < 500 && !IsWindowVisible(handle); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SetForegroundWindow(handle);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    testing_support::pressKey('H', VK_MENU); // "&Help"
    for (int i = 0; i < 200 && !testing_support::popupMenuShown(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    testing_support::pressKey(VK_LEFT); // the pop-up before it: "Reports"
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return testing_support::popupMenuShown();
}

void CloseMenusByKeys() {
    testing_support::closeMenusByKeys();
}

void PostConsoleCommand(void* window, unsigned command) {
    PostMessageA(static_cast<HWND>(window), WM_COMMAND, command, 0);
}

namespace {

// A menu item's text as a name: "Save &As...\tCtrl+S" is "save-as".
std::string menuItemName(std::string text) {
    text = text.substr(0, text.find('\t'));
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    std::string name;
    for (char c : text) {
        if (c == ' ')
            name += name.empty() || name.back() == '-' ? "" : "-";
        else
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

// The identifier of the item so named in the menu or its pop-ups, or 0.
UINT findMenuItem(HMENU menu, const std::string& name) {
    char text[128];
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU popup = GetSubMenu(menu, i)) {
            if (UINT found = findMenuItem(popup, name))
                return found;
            continue;
        }
        const UINT id = GetMenuItemID(menu, i);
        if (id != 0 && id != static_cast<UINT>(-1) &&
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION) > 0 &&
            menuItemName(text) == name)
            return id;
    }
    return 0;
}

} // namespace

bool ChooseConsoleMenuItem(void* window, const std::string& name) {
    HWND handle = static_cast<HWND>(window);
    // The menus are complete once the window shows.
    for (int i = 0; i < 500 && !IsWindowVisible(handle); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const UINT id = findMenuItem(GetMenu(handle), name);
    if (id == 0)
        return false;
    PostConsoleCommand(window, id);
    return true;
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
    HWND found = FindWindowA(nullptr, title);
    if (!found)
        return;
    PostMessageA(found, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 1000 && IsWindow(found); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void AnswerMessageBoxes() {
    for (HWND box : testing_support::shownMessageBoxes(GetCurrentProcessId()))
        PostMessageA(box, WM_COMMAND, IDOK, 0);
}
