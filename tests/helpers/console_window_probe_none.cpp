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
std::string DescribePopupMenu(void*) {
    return std::string();
}
std::string DescribeConsoleMenu(void*) {
    return std::string();
}
std::string DescribeEditChecks(void*) {
    return std::string();
}
bool OpenReportsMenuByKeys(void*) {
    return false;
}
void CloseMenusByKeys() {}
void PostConsoleCommand(void*, unsigned) {}
bool ChooseConsoleMenuItem(void*, const std::string&) {
    return false;
}
bool WaitForWindowTitled(const char*) {
    return false;
}
void DismissWindowTitled(const char*) {}
void AnswerMessageBoxes() {}
