#include "console_window_probe.h"

void* FindConsoleWindow() {
    return nullptr;
}
void CloseConsoleWindow(void*) {}
std::string ConsoleViewText(void*) {
    return std::string();
}
void* CreatePluginMenu() {
    return nullptr;
}
std::string DescribeConsoleMenu(void*) {
    return std::string();
}
