// The console window's view, as the line pipeline sees it: defined by window/ (the no-window build's
// takes nothing).
#pragma once

#include "state/console_state.h"

// Appends a text at the end of the console window's view, with a carriage return before each line feed.
// Does nothing while no console window exists. Called under PipelineLock for every emitted text; it never
// waits for the window thread.
void AppendToView(const char* text) CONSOLE_REQUIRES(PipelineLock);
