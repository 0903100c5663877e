/* A host built the way an MSVC-style toolchain builds one: C, compiled by clang in MSVC mode, linked by
 * lld-link against Trace.lib (by name; Trace.dll exports by ordinal only) and a kernel32 import library, with
 * no C runtime at all. It traces through the print thread into trace_msvc_host.txt beside it and exits
 * with a bit for each call that did not answer as documented (0: all did).
 *
 * Trace.h is C++; a C host declares the few functions it calls, as below. */
typedef _Bool TraceBool;

__declspec(dllimport) TraceBool TraceStart(void);
__declspec(dllimport) TraceBool TraceStop(void);
__declspec(dllimport) void TraceSetConsole(TraceBool enable);
__declspec(dllimport) TraceBool TraceGetFile(void);
__declspec(dllimport) void TraceSetFile(TraceBool enable, const char* name, TraceBool newFile);
__declspec(dllimport) int TracePrint(const char* format, ...);
__declspec(dllimport) int TraceVPrint(const char* format, __builtin_va_list arguments);

__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int exitCode);

/* Length of the "yyyy/mm/dd hh:mm:ss - " prefix Trace puts in front of each text. */
#define PREFIX_LENGTH 22

static int vprintThrough(const char* format, ...) {
    __builtin_va_list arguments;
    __builtin_va_start(arguments, format);
    int length = TraceVPrint(format, arguments);
    __builtin_va_end(arguments);
    return length;
}

void hostMain(void) {
    unsigned int failures = 0;
    TraceSetConsole(0);
    TraceSetFile(1, "trace_msvc_host.txt", 1);
    if (!TraceGetFile())
        failures |= 1u;
    if (!TraceStart())
        failures |= 2u;
    /* Arguments of several kinds through the variadic call; the return value is the text's length plus 1. */
    if (TracePrint("msvc host: %d %d %s %c %x\n", 42, -7, "through Trace.lib", 'x', 0xBEEFu) !=
        PREFIX_LENGTH + 42 + 1)
        failures |= 4u;
    if (vprintThrough("msvc host: vprint %s %d\n", "with a va_list", 3) != PREFIX_LENGTH + 35 + 1)
        failures |= 8u;
    if (!TraceStop())
        failures |= 16u;
    ExitProcess(failures);
}
