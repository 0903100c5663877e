// The console window as a host process sees it (Windows; on Linux there is none).
#pragma once

#include <string>

// The open console window of this process, or null.
void* FindConsoleWindow();
// Closes it as the close box does, and waits until it is gone.
void CloseConsoleWindow(void* window);
// The text of its view.
std::string ConsoleViewText(void* window);
// A pop-up menu with one item "Hello" (identifier 9000), for ConsoleAddMenu; null on Linux.
void* CreatePluginMenu();
// The window's menu bar as "Title|Title|..." and the "Reports" pop-up's items as "ID:Text,..." after a
// newline (Windows; empty on Linux).
std::string DescribeConsoleMenu(void* window);
