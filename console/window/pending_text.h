// The text on its way from the emitting threads to the console window (Windows).
//
// AppendToView (api/console_view.h), called under PipelineLock on the emitting thread, adds a copy of each
// text to the pending text and, when that was empty, posts one wake-up (kAppendPendingMessage) to the main
// window; the window thread takes all pending text at once. No thread waits for another, and no limit of
// posted messages can lose a line.
#pragma once

#include "state/console_state.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Posted to the main window when pending text waits for the view.
constexpr UINT kAppendPendingMessage = WM_APP + 1;

// What the window thread takes from the pending text.
struct TakenText {
    // Line feeds already preceded by carriage returns.
    std::string text;
    // The view's bound (view_text.h).
    std::size_t trimAt = 0;
    // Text was dropped to keep the pending text to the bound: the taken text replaces the view's.
    bool replaceAll = false;
};

// Starts handing text to the window, with nothing pending. The caller holds PipelineLock from its read of
// the ring buffer to here, so that the view's fill and the first pending text meet exactly.
void StartAcceptingText(HWND window, std::size_t trimAt) CONSOLE_REQUIRES(PipelineLock);
// Stops handing text to the window; what was pending is dropped (it stays in the ring buffer).
void StopAcceptingText();
// Takes all pending text.
TakenText TakePendingText();
