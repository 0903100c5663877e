// The 19 exports of Trace, each forwarding to the one CTrace. On Windows they are exported by ordinal
// only (Trace.def); on Linux by these names.
//
// No exception leaves an export: each body that can throw runs through boundary::guarded, which counts
// the drop in TraceDrops and answers what the export answers for a message or a setting it could not
// take (the only exception possible is an allocation failure).
#include "Trace.h"

#include "exception_boundary.h"
#include "platform.h"
#include "text_console.h"
#include "trace_instance.h"
#include "trace_time.h"

#include <cstring>
#include <optional>

namespace {

// The executable's folder up to and including its last separator, however long (never cut); nothing when
// the executable's path cannot be had, so that files are not silently made in the current folder instead.
std::optional<std::string> executableFolder() {
    std::string executable = platform::longExecutablePath();
    for (std::size_t i = executable.size(); i > 0; --i) {
        if (platform::isPathSeparator(executable[i - 1]))
            return executable.substr(0, i);
    }
    return std::nullopt;
}

} // namespace

bool TraceStart() {
    return boundary::guarded(TraceDrops, false, [] { return TheTrace().Start(); });
}

bool TraceStop() {
    return boundary::guarded(TraceDrops, true, [] { return TheTrace().Stop(); });
}

void TraceSetConsole(bool enable) {
    TheTrace().SetConsole(enable);
}

bool TraceGetConsole() {
    return TheTrace().GetConsole();
}

bool TraceGetFile() {
    return TheTrace().GetFile();
}

void TraceSetFile(bool enable, const char* name, bool newFile) {
    boundary::guarded(TraceDrops, [&] {
        if (!enable) {
            TheTrace().SetFile(false, std::string(), newFile);
            return;
        }
        // Without the executable's folder no file can be opened: an empty path fails to open.
        std::optional<std::string> folder = executableFolder();
        TheTrace().SetFile(true, folder ? *folder + (name ? name : "output.txt") : std::string(), newFile);
    });
}

void TraceSetTimeStamp(bool enable) {
    TheTrace().SetTimeStamp(enable);
}

int TracePrint(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = boundary::guarded(TraceDrops, 0, [&] { return TheTrace().Print(format, arguments); });
    va_end(arguments);
    return length;
}

int TraceVPrint(const char* format, va_list arguments) {
    return boundary::guarded(TraceDrops, 0, [&] { return TheTrace().Print(format, arguments); });
}

int TraceBinData(const unsigned char* data, int length) {
    return boundary::guarded(TraceDrops, 0, [&] { return TheTrace().BinData(data, length); });
}

void TraceSetLevel(unsigned char level) {
    TheTrace().SetLevel(level);
}

void TraceSetLogFile(const char* prefix, bool newFile, int mode, int maxSize) {
    boundary::guarded(TraceDrops, [&] {
        std::optional<std::string> folder = executableFolder();
        const char* name = prefix ? prefix : "TraceFile";
        TheTrace().SetLogFile(folder ? *folder + name : std::string(name), newFile, mode, maxSize,
                              folder.has_value());
    });
}

void TraceSetLevelOutput(bool enable, bool toFiles, bool toConsole) {
    TheTrace().SetLevelOutput(enable, toFiles, toConsole);
}

int TraceLevelPrint(unsigned char level, int id, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length =
        boundary::guarded(TraceDrops, 0, [&] { return TheTrace().LevelPrint(level, id, format, arguments); });
    va_end(arguments);
    return length;
}

int TraceLevelVPrint(unsigned char level, int id, const char* format, va_list arguments) {
    return boundary::guarded(TraceDrops, 0,
                             [&] { return TheTrace().LevelPrint(level, id, format, arguments); });
}

int TraceLevelBinData(unsigned char level, int id, const unsigned char* data, int length) {
    return boundary::guarded(TraceDrops, 0, [&] { return TheTrace().LevelBinData(level, id, data, length); });
}

bool TraceOpenConsole() {
    boundary::guarded(TraceDrops, [] { AttachTextConsole(); });
    return true;
}

bool TraceCloseConsole() {
    TheTrace().SetConsole(false);
    boundary::guarded(TraceDrops, [] { DetachTextConsole(); });
    return false;
}

void TraceGetTime(char* buffer) {
    if (!buffer)
        return;
    TraceTimeText time = FormatTraceTime(platform::localTime(), false);
    std::memcpy(buffer, time.text, static_cast<std::size_t>(time.length) + 1);
}
