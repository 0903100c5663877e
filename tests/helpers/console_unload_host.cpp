// Loads Console at run time, writes and reads through it, creates its log, and unloads it again, three
// times over. Exits 0 when every round worked; prints what each round read back.
//   console_unload_host [FOLDER]   Console from FOLDER (default: beside this program); arguments holding
//                                  "logging:" are left to CLog
//   console_unload_host window     opens the console window, unloads Console while it is open, then closes
//                                  the window (which lets the library go) and exits
#include "console_window_probe.h"
#include "platform.h"

#include <chrono>
#include <thread>

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
constexpr const char* kDisplayLog = "_Z10DisplayLogv";

template <typename Function> Function lookUp(const platform::DynamicLibrary& library, const char* name) {
    void* address = library.symbol(name);
    Function function = nullptr;
    std::memcpy(&function, &address, sizeof function);
    return function;
}

std::string libraryPath(int argc, char** argv) {
    std::string folder = platform::parentDirectory(platform::executablePath());
    for (int i = 1; argv && i < argc; ++i) {
        if (std::string(argv[i]).find("logging:") == std::string::npos)
            folder = argv[i];
    }
    return platform::joinPath(folder, platform::sharedLibraryFileName("Console"));
}

} // namespace

// Unloads Console while its window is open: the window keeps the library loaded until it closes.
int unloadWithTheWindowOpen() {
    {
        platform::DynamicLibrary console(libraryPath(1, nullptr));
        auto displayLog = lookUp<void (*)()>(console, kDisplayLog);
        auto traceSimple = lookUp<void (*)(const char*)>(console, kTraceSimple);
        if (!displayLog || !traceSimple)
            return 1;
        traceSimple("before the unload\n");
        displayLog();
        for (int i = 0; i < 1000 && !FindConsoleWindow(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!FindConsoleWindow())
            return 1;
    } // unloaded here, with the window open
    std::printf("unloaded with the window open\n");
    std::string text;
    for (int i = 0; i < 500 && text.find("before the unload") == std::string::npos; ++i) {
        text = ConsoleViewText(FindConsoleWindow());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("view %s\n",
                text.find("before the unload") != std::string::npos ? "still shows the log" : "lost");
    CloseConsoleWindow(FindConsoleWindow());
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the window thread lets the library go
    std::printf("closed\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "window")
        return unloadWithTheWindowOpen();
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
