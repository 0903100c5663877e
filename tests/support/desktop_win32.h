// The desktop as a person sees and touches it, for the GUI tests and the helper hosts (Windows): shown
// message boxes, captions and texts, pop-up menus, and keys pressed on the keyboard.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// The shown message boxes (dialog class "#32770") of every process, or of one.
std::vector<HWND> shownMessageBoxes(DWORD processId = 0);
std::string captionOf(HWND window);
// The text of a message box (its text control, 0xFFFF).
std::string textOfMessageBox(HWND box);
// The whole text of a window or control of any process (WM_GETTEXT), such as a rich edit view.
std::string textOfWindow(HWND window);

// Presses and releases a key, with a modifier (VK_MENU, VK_CONTROL) held down around it when given.
void pressKey(BYTE key, BYTE modifier = 0);
// A pop-up menu (class "#32768") is shown.
bool popupMenuShown();
// Closes open pop-up menus with Escape and takes the menu bar out of its menu mode.
void closeMenusByKeys();

} // namespace testing_support
