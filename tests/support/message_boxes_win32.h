// Message boxes as a person sees them: which are shown, their captions and their texts (Windows).
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

} // namespace testing_support
