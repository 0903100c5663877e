// Trace: printf-style and hex-dump trace written by a background print thread.
//
// Plain trace (TracePrint) goes to standard output and, after TraceSetFile, to one output file; leveled
// trace (TraceLevelPrint) carries a level and an id and goes to one trace file per id, replaced by a new
// one when the month, day or hour changes or when it outgrows a size limit (TraceSetLogFile). Callers
// format on their own thread; once TraceStart has run, the print thread does all output, in the order the
// calls were made. Every line written to a file starts with the local time "yyyy/mm/dd hh:mm:ss - ".
//
//     TraceSetLogFile("Capture", true, TRACE_ROTATE_SIZE, 1000000);
//     TraceSetLevelOutput(true, true, false);
//     TraceSetLevel(3);
//     TraceStart();
//     TracePrint("started %d channels\n", 4);
//     TraceLevelPrint(2, 42, "frame %d dropped\n", 17);   // into the trace file of id 42
//     TraceStop();
//
// Any thread may call any function. Nothing reports an error code: the trace functions return 0 for a
// message they did not take, and file errors come back as trace text beginning with "!Trace Error".
//
// Windows: Trace.dll exports these 19 functions by ordinal only (1 TraceStart ... 19 TraceGetTime, in the
// order below); link with the import library libTrace.dll.a to call them by name.
// Linux: TraceOpenConsole opens no new console; interrupt, hang-up and termination signals are reported as
// console events ("Receive Console Event").
#pragma once

#include <cstdarg>

#include "PelmoraVersion.h"

#if defined(_WIN32) && !defined(TRACE_BUILDING_LIBRARY)
#define TRACE_API __declspec(dllimport)
#elif defined(_WIN32)
#define TRACE_API // exported by ordinal through Trace.def
#else
#define TRACE_API __attribute__((visibility("default")))
#endif

#if defined(_WIN32)
#define TRACE_PRINTF(format_index, first_argument)                                                           \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define TRACE_PRINTF(format_index, first_argument)                                                           \
    __attribute__((format(printf, format_index, first_argument)))
#endif

// Rotation modes of the trace files (TraceSetLogFile); any other value never replaces them.
#define TRACE_ROTATE_MONTH 0
#define TRACE_ROTATE_DAY 1
#define TRACE_ROTATE_HOUR 2
#define TRACE_ROTATE_SIZE 3

extern "C" {
// 1. Starts the print thread; true when it runs on return (also when it ran already).
TRACE_API bool TraceStart();
// 2. Stops the print thread after it handled everything queued before, and closes the trace files.
TRACE_API bool TraceStop();
// 3-5. Plain trace to standard output (default on) and to the output file (default off).
TRACE_API void TraceSetConsole(bool enable);
TRACE_API bool TraceGetConsole();
TRACE_API bool TraceGetFile();
// 6. Opens the output file name ("output.txt" when null) beside the executable, emptied when newFile;
// TraceGetFile() tells whether that worked.
TRACE_API void TraceSetFile(bool enable, const char* name, bool newFile);
// 7. The "yyyy/mm/dd hh:mm:ss - " prefix in front of each text (default on).
TRACE_API void TraceSetTimeStamp(bool enable);
// 8-10. Plain trace. TracePrint and TraceVPrint return the length of the text as written plus 1, the
// time stamp included (22 characters while it is on): "hi\n" gives 26; 0 when console and file output
// are both off. TraceBinData returns length (0 for no data). Texts are cut at 10,240 characters (prefix
// included).
TRACE_API int TracePrint(const char* format, ...) TRACE_PRINTF(1, 2);
TRACE_API int TraceVPrint(const char* format, va_list arguments);
TRACE_API int TraceBinData(const unsigned char* data, int length);
// 11. Leveled messages are taken when their level is at most this (default 0).
TRACE_API void TraceSetLevel(unsigned char level);
// 12. Trace files: "<executable's folder><prefix>" ("TraceFile" when null) followed by the id and the
// time; maxSize is the size limit of mode TRACE_ROTATE_SIZE (0 means 1 byte). newFile empties a file of
// the same name left by an earlier run; a name that comes again within one second (names carry the time
// to the second) continues the file this run wrote, and a replacement file that outgrows the limit within
// its own second grows on until a later second replaces it: no message is lost.
TRACE_API void TraceSetLogFile(const char* prefix, bool newFile, int mode, int maxSize);
// 13. Leveled trace on or off, to the trace files, and to standard output (when console output is on).
TRACE_API void TraceSetLevelOutput(bool enable, bool toFiles, bool toConsole);
// 14-16. Leveled trace; returns as TracePrint and TraceBinData do (time stamp included), or 0 when not
// taken. Taken while leveled trace is on or the print thread runs; queued until the print thread runs.
TRACE_API int TraceLevelPrint(unsigned char level, int id, const char* format, ...) TRACE_PRINTF(3, 4);
TRACE_API int TraceLevelVPrint(unsigned char level, int id, const char* format, va_list arguments);
TRACE_API int TraceLevelBinData(unsigned char level, int id, const unsigned char* data, int length);
// 17-18. A text console of its own for standard output (Windows); console events are traced.
TRACE_API bool TraceOpenConsole();
TRACE_API bool TraceCloseConsole();
// 19. The local time "yyyy/mm/dd hh:mm:ss" into buffer (at least 20 bytes); nothing when buffer is null.
TRACE_API void TraceGetTime(char* buffer);
}
