// Loads Console at run time, writes and reads through it, creates its log, and unloads it again, three
// times over. Exits 0 when every round worked; prints what each round read back.
//   console_unload_host [FOLDER]   Console from FOLDER (default: beside this program); arguments holding
//                                  "logging:" are left to CLog
#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

class CLog;

namespace {

// The exported names carry their parameter types (GCC's mangling on both platforms).
constexpr const char* kTraceSimple = "_Z14CS_TRACESIMPLEPKc";
constexpr const char* kGetDebugLogOutput = "_Z17GetDebugLogOutputb";
constexpr const char* kGetLog = "_Z9CS_GetLogv";

template <typename Function> Function lookUp(const platform::DynamicLibrary& library, const char* name) {
    void* address = library.symbol(name);
    Function function = nullptr;
    std::memcpy(&function, &address, sizeof function);
    return function;
}

std::string libraryPath(int argc, char** argv) {
    std::string folder = platform::parentDirectory(platform::executablePath());
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).find("logging:") == std::string::npos)
            folder = argv[i];
    }
    return platform::joinPath(folder, platform::sharedLibraryFileName("Console"));
}

} // namespace

int main(int argc, char** argv) {
    for (int round = 0; round < 3; ++round) {
        platform::DynamicLibrary console(libraryPath(argc, argv));
        if (!console.loaded()) {
            std::fprintf(stderr, "cannot load: %s\n", console.error().c_str());
            return 1;
        }
        auto traceSimple = lookUp<void (*)(const char*)>(console, kTraceSimple);
        auto getOutput = lookUp<char* (*)(bool)>(console, kGetDebugLogOutput);
        auto getLog = lookUp<CLog& (*)()>(console, kGetLog);
        if (!traceSimple || !getOutput || !getLog) {
            std::fprintf(stderr, "exports not found\n");
            return 1;
        }
        traceSimple(("round " + std::to_string(round) + "\n").c_str());
        getLog();
        char* text = getOutput(false);
        std::printf("[%s]\n", text ? text : "(null)");
        std::free(text);
    }
    return 0;
}
