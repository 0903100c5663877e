// The console window as a host process sees it (Windows; on Linux there is none).
#pragma once

#include <string>

// The open console window of this process, or null.
void* FindConsoleWindow();
// Closes it as the close box does, and waits until it and its thread are gone.
void CloseConsoleWindow(void* window);
// The text of its view.
std::string ConsoleViewText(void* window);
// A pop-up menu with one item "Hello" (identifier 9000), for ConsoleAddMenu; null on Linux.
void* CreatePluginMenu();
// A pop-up menu's items as "ID:Text,...", or "destroyed" when the handle no longer names a menu (Windows;
// empty on Linux).
std::string DescribePopupMenu(void* menu);
// The window's menu bar as "Title|Title|..." and the "Reports" pop-up's items as "ID:Text,..." after a
// newline (Windows; empty on Linux).
std::string DescribeConsoleMenu(void* window);
// The check marks of the "&Edit" pop-up as "32779=B 32780=B 32781=B 32783=B 32784=B" (Windows).
std::string DescribeEditChecks(void* window);
// Brings the window to the front and opens its "Reports" pop-up with the keyboard (Alt+H, then Left), as a
// person would; returns once a pop-up menu shows (Windows).
bool OpenReportsMenuByKeys(void* window);
// Closes open menus with Escape.
void CloseMenusByKeys();
// Posts a menu command to the window, as choosing the item does (Windows).
void PostConsoleCommand(void* window, unsigned command);
// Chooses the item of the window's menus (the Reports and Plugins pop-ups included) named so: its text
// in lower case without "&", the accelerator and a closing "...", blanks as "-" ("Save &As...\tCtrl+S"
// is "save-as", "&About ..." is "about"). False when no item is so named (always on Linux).
bool ChooseConsoleMenuItem(void* window, const std::string& name);
// Waits up to ten seconds for a shown top-level window with that title (Windows).
bool WaitForWindowTitled(const char* title);
// Answers the dialog with that title with OK and waits (ten seconds at most) until it is gone (Windows).
void DismissWindowTitled(const char* title);
// Answers every shown message box of this process with OK (Windows).
void AnswerMessageBoxes();
