#include "desktop_win32.h"

#include "test_support.h"

#include <chrono>
#include <thread>

namespace testing_support {

namespace {

struct BoxSearch {
    DWORD processId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK collectMessageBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (std::string(name) == "#32770" && IsWindowVisible(window) &&
        (search->processId == 0 || process == search->processId))
        search->boxes.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> shownMessageBoxes(DWORD processId) {
    BoxSearch search{processId, {}};
    EnumWindows(collectMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.boxes;
}

std::string captionOf(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string textOfMessageBox(HWND box) {
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

std::string textOfWindow(HWND window) {
    int length = static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                            reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void pressKey(BYTE key, BYTE modifier) {
    if (modifier)
        keybd_event(modifier, 0, 0, 0);
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
    if (modifier)
        keybd_event(modifier, 0, KEYEVENTF_KEYUP, 0);
}

bool popupMenuShown() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu);
}

void closeMenusByKeys() {
    for (int i = 0; i < 3 && popupMenuShown(); ++i) {
        pressKey(VK_ESCAPE);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    pressKey(VK_ESCAPE); // the menu bar leaves its menu mode too
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

bool closeWindowAndWaitForItsThread(HWND window, UINT message, WPARAM wParam) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, GetWindowThreadProcessId(window, nullptr));
    PostMessageA(window, message, wParam, 0);
    const bool closed = eventually([&] { return !IsWindow(window); }, 20000);
    if (thread) {
        WaitForSingleObject(thread, 20000);
        CloseHandle(thread);
    }
    return closed;
}

} // namespace testing_support
