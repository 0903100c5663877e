/* A host built the way an MSVC-style toolchain builds one: C, compiled by clang in MSVC mode (or cl), linked
 * by lld-link (or link) against Trace.lib (by name; Trace.dll exports by ordinal only) and a kernel32 import
 * library, with no C runtime at all: the entry point is hostMain (/entry:hostMain /nodefaultlib). It traces
 * through the print thread into trace_msvc_host.txt beside it and exits with a bit for each call that did
 * not answer as documented (0: all did).
 *
 * Trace.h is C++; a C host declares the few functions it calls, as below: C functions with the C calling
 * convention, bool one byte, va_list the compiler's. Only the compiler's own headers are used. */
#include <stdarg.h>
#include <stdbool.h>

__declspec(dllimport) bool TraceStart(void);
__declspec(dllimport) bool TraceStop(void);
__declspec(dllimport) void TraceSetConsole(bool enable);
__declspec(dllimport) bool TraceGetFile(void);
__declspec(dllimport) void TraceSetFile(bool enable, const char* name, bool newFile);
__declspec(dllimport) int TracePrint(const char* format, ...);
__declspec(dllimport) int TraceVPrint(const char* format, va_list arguments);

__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int exitCode);

/* Length of the "yyyy/mm/dd hh:mm:ss - " prefix Trace puts in front of each text. */
#define PREFIX_LENGTH 22

static int vprintThrough(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = TraceVPrint(format, arguments);
    va_end(arguments);
    return length;
}

void hostMain(void) {
    unsigned int failures = 0;
    TraceSetConsole(false);
    TraceSetFile(true, "trace_msvc_host.txt", true);
    if (!TraceGetFile())
        failures |= 1u;
    if (!TraceStart())
        failures |= 2u;
    /* Arguments of several kinds through the variadic call; the return value is the length of the line as
     * written, time stamp included, plus 1. */
    if (TracePrint("msvc host: %d %d %s %c %x\n", 42, -7, "through Trace.lib", 'x', 0xBEEFu) !=
        PREFIX_LENGTH + 42 + 1)
        failures |= 4u;
    if (vprintThrough("msvc host: vprint %s %d\n", "with a va_list", 3) != PREFIX_LENGTH + 35 + 1)
        failures |= 8u;
    if (!TraceStop())
        failures |= 16u;
    ExitProcess(failures);
}
