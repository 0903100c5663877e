// The console window's view (Windows): a read-only rich edit control with the log's text, kept to a bound
// so that a host running for days does not grow it without end. Used on the window thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The view's bound for a ring buffer of ringSize bytes: past it, the oldest whole lines go until the view
// holds half of it.
std::size_t ViewTrimAtFor(std::int32_t ringSize);
// Creates the view as the main window's child IDC_VIEW, with its look.
HWND CreateView(HWND window, HINSTANCE instance);
// Fills the view with a text (the ring buffer's) and sets its bound; the caret goes to the end.
void FillView(HWND view, const char* text, std::size_t trimAt);
// Appends a text at the end of the view, following the end only when the user was there, and keeps the
// view to its bound. With replaceAll (the lines between the view's text and this one were dropped) the
// text replaces the view's instead.
void AppendToViewNow(HWND view, const std::string& text, std::size_t trimAt, bool replaceAll);
