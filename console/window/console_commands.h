// The console window's menu commands and dialogs (Windows), run on the window thread.
#pragma once

#include <windows.h>

// Handles a command of the main window; false for commands it leaves to the default handling.
bool HandleConsoleCommand(HWND window, HWND view, HINSTANCE dialogInstance, unsigned command);
