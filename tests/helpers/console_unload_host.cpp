// Loads Console at run time, writes and reads through it, creates its log, and unloads it again, three
// times over. Exits 0 when every round worked; prints what each round read back.
//   console_unload_host [FOLDER]   Console from FOLDER (default: beside this program); arguments holding
//                                  "logging:" are left to CLog
//   console_unload_host window     opens the console window, unloads Console while it is open, then closes
//                                  the window (which lets the library go) and exits
//   console_unload_host window-at-once ROUNDS
//                                  ROUNDS times: loads Console, calls DisplayLog and unloads it at once,
//                                  before the window thread can have started; then reads the window's view
//                                  and closes the window. Prints "round I banner closed" for each round that
//                                  worked
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

// The console window that opens after Console was unloaded at once, or null after ten seconds.
void* windowAfterTheUnload() {
    for (int i = 0; i < 1000; ++i) {
        if (void* window = FindConsoleWindow())
            return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

// DisplayLog, then FreeLibrary straight away: the window thread must keep the library loaded from its
// start, or it runs into unmapped code.
int unloadRightAfterDisplayLog(int rounds) {
    for (int round = 0; round < rounds; ++round) {
        {
            platform::DynamicLibrary console(libraryPath(1, nullptr));
            auto displayLog = lookUp<void (*)()>(console, kDisplayLog);
            if (!displayLog)
                return 1;
            displayLog();
        } // unloaded here, while the window thread may not have run a single instruction
        void* window = windowAfterTheUnload();
        std::string text;
        for (int i = 0;
             window && i < 500 && text.find("*** Pelmora Console started at ") == std::string::npos; ++i) {
            text = ConsoleViewText(window);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool banner = text.find("*** Pelmora Console started at ") != std::string::npos;
        if (window)
            CloseConsoleWindow(window);
        const bool closed = window && !FindConsoleWindow();
        std::printf("round %d %s %s\n", round, banner ? "banner" : "no-banner", closed ? "closed" : "open");
        std::fflush(stdout);
        if (!banner || !closed)
            return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "window")
        return unloadWithTheWindowOpen();
    if (argc > 2 && std::string(argv[1]) == "window-at-once")
        return unloadRightAfterDisplayLog(std::atoi(argv[2]));
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
