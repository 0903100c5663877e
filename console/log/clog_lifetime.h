// The one CLog of the process: created by the first CS_GetLog, ended (footer) when Console unloads or the
// process exits. It also counts the messages being built, so that the end never writes the footer into,
// or frees the log under, a message another thread is still building: a host serialises its own use of
// the log with a lock of its own, which the exit-time code does not hold.
#pragma once

#include "Console.h"

#include <cstddef>

class CLogLifetime {
public:
    // The log, created on the first call (by one thread when several ask at once). Throws
    // std::logic_error("Dead Reference Detected") once the log has ended.
    static CLog& Get();
    // A message starts (a builder that holds the log is made). False once the log is ending: the message
    // is then dropped without touching the log. Every true answer is followed by one EndMessage, after the
    // message was dispatched.
    static bool BeginMessage() noexcept;
    static void EndMessage() noexcept;
    // At a crash: appends the line to the log's file when the log exists and writes to its file.
    static void AppendCrashLine(const char* line, std::size_t length) noexcept;

private:
    // On the exit list of the module: waits, when other threads may still run (a process exit on Linux),
    // until they finished the messages they are building (a few seconds at most), writes the footer and
    // marks the log ended. No footer is written when another thread's message did not end: it ran past
    // the wait, or its thread was stopped inside it (a Windows process exit stops the other threads before
    // a DLL's exit list runs). The object is destroyed only when no other thread can reach it any more (an
    // unload, or a Windows DLL at process exit); while a process exits with its threads running it stays,
    // for a thread that kept a reference to it (its messages are dropped).
    static void End() noexcept;
};
