#include "message_boxes_win32.h"

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

} // namespace testing_support
