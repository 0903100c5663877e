// An example host of the three libraries (README.md shows how to build it). It counts its runs in the
// settings store (Kitbag), traces into host-trace.txt beside the executable (Trace), writes a line down
// Console's pipeline and reads it back, and asks CLog whether errors are logged. It prints one line per
// step and exits 0 when every call answered as documented.
//
// Settings go to the file KITBAG_SETTINGS names, else to the user's own store (section "Example").

// <windows.h> defines ERROR as a macro (in wingdi.h), which would turn CLog::ERROR below into CLog::0:
// undefine it after the Windows headers (or define NOGDI before them).
#if defined(_WIN32)
#include <windows.h>
#undef ERROR
#endif

#include <Console.h>
#include <Kitbag.h>
#include <Trace.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok:" : "FAILED:", what.c_str());
    if (!ok)
        ++failures;
}

} // namespace

int main() {
    std::printf("Pelmora logging %s\n", PELMORA_VERSION_STRING);

    // Kitbag: integers are written with KB_SetIntA and read with KB_GetIntA.
    int runs = 0;
    KB_GetIntA("Example", "Runs", &runs);
    const int run = runs + 1;
    int stored = 0;
    check(KB_SetIntA("Example", "Runs", run) && KB_GetIntA("Example", "Runs", &stored) && stored == run,
          "Kitbag: this is run " + std::to_string(run));

    // Trace: the output file lies beside the executable; the print thread writes it.
    TraceSetConsole(false);
    TraceSetFile(true, "host-trace.txt", true);
    check(TraceGetFile(), "Trace: host-trace.txt opened beside the executable");
    check(TraceStart(), "Trace: the print thread runs");
    // TracePrint returns the length of the line as written plus 1: the time stamp "yyyy/mm/dd hh:mm:ss - "
    // (22 characters) counts.
    const std::string text = "run " + std::to_string(run) + "\n";
    const int length = TracePrint("run %d\n", run);
    check(length == static_cast<int>(22 + text.size() + 1),
          "Trace: TracePrint returned " + std::to_string(length) + " for a line of " +
              std::to_string(text.size()) + " characters after its time stamp");
    check(TraceStop(), "Trace: stopped after writing what was queued");

    // Console: every writer's text goes down one pipeline, whose ring buffer keeps the latest lines.
    CS_TRACE("example host: run %d\n", run);
    char* buffered = GetDebugLogOutput(false);
    check(buffered && std::strstr(buffered, "example host: run ") != nullptr,
          "Console: the line is in the ring buffer");
    std::free(buffered);

    // CLog: configured by -logging:HEX on the command line (or the "logging" environment variable).
    CLog& log = CS_GetLog();
    const bool errorsLogged = log.IsEnabledFor(CLog::ERROR);
    if (errorsLogged)
        log << CLog::ERROR << "example host: an error message, run " << run;
    std::printf("CLog: errors are %s\n", errorsLogged ? "logged" : "not logged (the default)");

    std::printf("%s\n", failures == 0 ? "example host: all ok" : "example host: FAILED");
    return failures == 0 ? 0 : 1;
}
