// The line pipeline: the one road by which text leaves Console.
//
// ConsoleWriteText decides whether a text gets a time stamp in front: a text that starts a new line goes
// with its stamp to ConsoleEmitStamped, any other to ConsoleEmit, under PipelineLock. Both feed, in this
// order, the ring buffer, the log file (AppendToLogFile), the console window's view (AppendToView) and the
// debugger output (SendToDebugger). Any thread may call; the lock is recursive, because the first emission
// loads the settings and the load writes the start banner through the pipeline.
#pragma once

#include "platform.h"
#include "state/console_state.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr std::size_t kDebuggerPieceSize = 1000;

// The stamp "hh:mm:ss - " (local time, 24-hour clock, two digits each) with its NUL.
struct TimeStamp {
    static constexpr std::size_t kLength = 11;
    char text[kLength + 1];
};
TimeStamp FormatTimeStamp(int hour, int minute, int second);

// Where the stamps take the time from. A stamp's text is made once per second and reused while second()
// answers the same number; localTimeAt() is asked only when the number changes, for the time of that very
// number, so that a text is always that of the second it is kept for. Both are called under PipelineLock.
struct StampClock {
    // A number for the current second: equal numbers, the same time to the second.
    std::int64_t (*second)();
    // The local time of a number second() answered.
    platform::LocalTime (*localTimeAt)(std::int64_t second);
};
// Installs a clock (null: the system's, the local time to the second, from the clock CLog's millisecond
// stamps read too) and forgets the cached stamp. The installer keeps the clock alive while it is
// installed. For tests.
void SetStampClock(const StampClock* clock);

// Writes a text, with a stamp in front when stamp is true and the last text written ended a line. The
// stamp decision and both emissions happen in one hold of PipelineLock, so a stamp is never separated
// from its text and two threads never both stamp one line. A null text is an empty one.
void ConsoleWriteText(const char* text, bool stamp);
// The same for a text whose length is known (no NUL among its length bytes, one after them).
void ConsoleWriteText(const char* text, std::size_t length, bool stamp);
// Feeds one text to the four sinks. The text is followed by a NUL (the view takes it so). ConsoleWriteText
// is the caller: it holds PipelineLock and has loaded the settings, so a line takes the lock once.
void ConsoleEmit(std::string_view text) CONSOLE_REQUIRES(PipelineLock);
// Feeds a stamp and its text to the four sinks as one emission: each sink gets the stamp, then the text;
// the log file gets both in one write. Both are followed by a NUL. Called as ConsoleEmit is.
void ConsoleEmitStamped(std::string_view stamp, std::string_view text) CONSOLE_REQUIRES(PipelineLock);
// Appends a stamp (may be empty) and a text to the log file named by logFile, in one write-through write;
// returns the bytes written, 0 when the file cannot be opened. The pipeline calls it only while the last
// load found a file it may write (logFileKept: a device, a FIFO or a read-only file is left alone).
std::size_t AppendToLogFile(std::string_view stamp, std::string_view text) CONSOLE_REQUIRES(PipelineLock);
// Sends a text to the debugger output in pieces of at most kDebuggerPieceSize bytes.
void SendToDebugger(const char* text);
// Cuts a text into the debugger's pieces and hands each, NUL-terminated, to send (in order).
void SendInDebuggerPieces(const char* text, void (*send)(const char* piece));
// A heap copy of the buffered text (see DebugLogBuffer::Read) that the caller releases with free; null
// when memory runs out.
char* ReadDebugLog(bool html, bool crlf);
