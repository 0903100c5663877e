// Linux has no console window: DisplayLog loads the settings and returns, and the view takes nothing.
#include "Console.h"

#include "api/console_settings.h"
#include "api/console_view.h"

void DisplayLog() {
    LoadSettings(false);
}

void AppendToView(const char*) {}
