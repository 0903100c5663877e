// The text console of Trace: attach, detach and the console events. Attach and detach run on the thread of
// the export that asks; the handler runs on the thread the system (Windows) or the signal watcher (Linux)
// calls it on, and traces through the one CTrace.
#pragma once

class CTrace;

// Control types of console events, as Windows numbers them.
constexpr unsigned long kConsoleCtrlC = 0;
constexpr unsigned long kConsoleBreak = 1;
constexpr unsigned long kConsoleClose = 2;
constexpr unsigned long kConsoleLogoff = 5;
constexpr unsigned long kConsoleShutdown = 6;

// Traces "Receive Console Event\n" for Ctrl+C, Ctrl+Break, close, log-off and shut-down and answers true
// (handled); answers false for every other type.
bool TraceConsoleHandler(unsigned long controlType);

// Windows: a console of its own, standard output bound to it, the handler installed. Linux: no new console;
// interrupt, hang-up and termination signals are reported as Ctrl+C, close and shut-down events (a watcher
// thread does the tracing; the signal handlers only write to a pipe).
void AttachTextConsole();
// Removes the handler (Linux: the signals get their previous handling back) and frees the console.
void DetachTextConsole();
