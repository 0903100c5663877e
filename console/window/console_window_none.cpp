// Linux has no console window: DisplayLog loads the settings and returns, and the view takes nothing.
#include "Console.h"

#include "console_state.h"
#include "console_view.h"

void DisplayLog() {
    LoadSettings(false);
}

void AppendToView(const char*) {}
