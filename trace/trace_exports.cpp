// The 19 exports of Trace, each forwarding to the one CTrace. On Windows they are exported by ordinal
// only (Trace.def); on Linux by these names.
#include "Trace.h"

#include "platform.h"
#include "text_console.h"
#include "trace_instance.h"
#include "trace_time.h"

#include <cstring>

namespace {

// The executable's folder with its trailing separator, from a path buffer of the given size ("" when the
// path does not fit: the file is then made in the current folder).
std::string executableFolder(std::size_t bufferSize) {
    std::string executable = platform::executablePath();
    if (executable.empty() || executable.size() >= bufferSize)
        return std::string();
    std::string folder = platform::parentDirectory(executable);
    return folder.empty() ? folder : folder + platform::pathSeparator();
}

} // namespace

bool TraceStart() {
    return TheTrace().Start();
}

bool TraceStop() {
    return TheTrace().Stop();
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
    std::string path = enable ? executableFolder(256) + (name ? name : "output.txt") : std::string();
    TheTrace().SetFile(enable, path, newFile);
}

void TraceSetTimeStamp(bool enable) {
    TheTrace().SetTimeStamp(enable);
}

int TracePrint(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = TheTrace().Print(format, arguments);
    va_end(arguments);
    return length;
}

int TraceVPrint(const char* format, va_list arguments) {
    return TheTrace().Print(format, arguments);
}

int TraceBinData(const unsigned char* data, int length) {
    return TheTrace().BinData(data, length);
}

void TraceSetLevel(unsigned char level) {
    TheTrace().SetLevel(level);
}

void TraceSetLogFile(const char* prefix, bool newFile, int mode, int maxSize) {
    TheTrace().SetLogFile(executableFolder(platform::maxPathLength() + 1) + (prefix ? prefix : "TraceFile"),
                          newFile, mode, maxSize);
}

void TraceSetLevelOutput(bool enable, bool toFiles, bool toConsole) {
    TheTrace().SetLevelOutput(enable, toFiles, toConsole);
}

int TraceLevelPrint(unsigned char level, int id, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = TheTrace().LevelPrint(level, id, format, arguments);
    va_end(arguments);
    return length;
}

int TraceLevelVPrint(unsigned char level, int id, const char* format, va_list arguments) {
    return TheTrace().LevelPrint(level, id, format, arguments);
}

int TraceLevelBinData(unsigned char level, int id, const unsigned char* data, int length) {
    return TheTrace().LevelBinData(level, id, data, length);
}

bool TraceOpenConsole() {
    AttachTextConsole();
    return true;
}

bool TraceCloseConsole() {
    TheTrace().SetConsole(false);
    DetachTextConsole();
    return false;
}

void TraceGetTime(char* buffer) {
    if (!buffer)
        return;
    TraceTimeText time = FormatTraceTime(platform::localTime(), false);
    std::memcpy(buffer, time.text, static_cast<std::size_t>(time.length) + 1);
}
