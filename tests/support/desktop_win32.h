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

// Posts a message that closes a top-level window (WM_CLOSE, or a menu command such as Exit), waits until
// the window is gone (twenty seconds at most) and then for the thread that owned it: a host that ends
// while that thread still tears its windows down hangs under Wine (the ending thread is killed holding
// Wine's window lock, which the exit then needs). True when the window went.
bool closeWindowAndWaitForItsThread(HWND window, UINT message, WPARAM wParam = 0);

// Presses and releases a key, with a modifier (VK_MENU, VK_CONTROL) held down around it when given.
void pressKey(BYTE key, BYTE modifier = 0);
// A pop-up menu (class "#32768") is shown.
bool popupMenuShown();
// Closes open pop-up menus with Escape and takes the menu bar out of its menu mode.
void closeMenusByKeys();

} // namespace testing_support
