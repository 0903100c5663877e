// The console window: a top-level window with a read-only rich text view of the log, on a thread of its
// own. Windows only; on Linux DisplayLog loads the settings and there is no window.
#pragma once

// Opens the console window, or activates the one that is open. While a window is being created, further
// calls open no second one.
void OpenConsoleWindow(void* instance);
