// How CLog shows USERALERT and USERINTERVENTION messages that no callback took.
#pragma once

#include "Console.h"

// Shows the text (the message from its user mark on) to the user. On Windows a message box owned by the
// calling thread's active window, captioned with Console's module path, that waits for the user; on Linux
// the text goes to standard error, marked with its severity, and nothing waits.
void ShowUserAlert(CLog::LogSeverity severity, const char* text);
