// The console window as a host process sees it (Windows; on Linux there is none).
#pragma once

#include <string>

// The open console window of this process, or null.
void* FindConsoleWindow();
// Closes it as the close box does, and waits until it is gone.
void CloseConsoleWindow(void* window);
// The text of its view.
std::string ConsoleViewText(void* window);
