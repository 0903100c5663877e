// The console window's menu commands and dialogs (Windows), run on the window thread.
#pragma once

#include <windows.h>

// Handles a command of the main window's own menus (File, Edit, Help); false for commands it leaves to
// the default handling. The Help menu's problem report starts the host's component when one is
// registered; nothing happens, and nothing is shown, when there is none.
bool HandleConsoleCommand(HWND window, HWND view, HINSTANCE dialogInstance, unsigned command);

// Appends the registered reports to the "Reports" pop-up (identifiers from IDM_FIRST_REPORT on) and the
// host's plug-in menu as a "Plugins" pop-up, for a new window.
void BuildConsoleMenus(HWND window);
// Takes the host's plug-in menu off the window's menu bar, so that destroying the bar with the window
// leaves the host's menu alive: call it when the window is being destroyed.
void DetachPluginMenu(HWND window);
// A command none of the window's own: the plug-in handler sees it first, then a report identifier runs its
// report. False when it goes on to the default handling.
bool HandleHostCommand(unsigned command);
// Sets the check marks of a pop-up that is about to open from the switches; remembers the two Kitbag
// values shown, which their commands invert.
void UpdateCheckMarks(HMENU popup);
