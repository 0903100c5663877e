// How CLog shows USERALERT and USERINTERVENTION messages that no callback took.
#pragma once

#include "Console.h"

// Shows the text (the message from its user mark on) to the user. On Windows a message box owned by the
// calling thread's active window and captioned with Console's module path: for USERALERT it counts down
// in its caption and closes itself after 15 ticks unless the user touches it first; for USERINTERVENTION
// it waits for the user. On Linux the text goes to standard error, marked with its severity, and nothing
// waits.
void ShowUserAlert(CLog::LogSeverity severity, const char* text);

// For tests: the length of one countdown tick (1,000 ms unless changed).
void SetUserAlertTickMilliseconds(unsigned milliseconds);
// For tests: no countdown box is active and no hook of one is installed.
bool UserAlertIdle();
