// Loads Trace at run time and calls its functions the way a host without the import library does: by
// ordinal on Windows, by name on Linux.
//   trace_dynamic_host FOLDER all          calls each of the 19 functions once and prints what they return
//   trace_dynamic_host FOLDER unload N     starts the print thread, queues N plain and N leveled messages,
//                                          and unloads the library without stopping it; on Windows loads it
//                                          again and stops the thread through the new handle
//   trace_dynamic_host FOLDER own-handler-crash N
//                                          installs the host's own fault handler first, then loads the
//                                          library, queues N plain and N leveled messages with the print
//                                          thread running and faults
//   trace_dynamic_host FOLDER own-handler-unload-crash
//                                          the same handler, then the library loaded, started, unloaded, and
//                                          a fault
#include "crash_ways.h"
#include "platform.h"
#include "test_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char* const kNames[] = {
    "TraceStart",        "TraceStop",         "TraceSetConsole",     "TraceGetConsole", "TraceGetFile",
    "TraceSetFile",      "TraceSetTimeStamp", "TracePrint",          "TraceVPrint",     "TraceBinData",
    "TraceSetLevel",     "TraceSetLogFile",   "TraceSetLevelOutput", "TraceLevelPrint", "TraceLevelVPrint",
    "TraceLevelBinData", "TraceOpenConsole",  "TraceCloseConsole",   "TraceGetTime"};

struct Exports {
    bool (*start)();
    bool (*stop)();
    void (*setConsole)(bool);
    bool (*getConsole)();
    bool (*getFile)();
    void (*setFile)(bool, const char*, bool);
    void (*setTimeStamp)(bool);
    int (*print)(const char*, ...);
    int (*vprint)(const char*, va_list);
    int (*binData)(const unsigned char*, int);
    void (*setLevel)(unsigned char);
    void (*setLogFile)(const char*, bool, int, int);
    void (*setLevelOutput)(bool, bool, bool);
    int (*levelPrint)(unsigned char, int, const char*, ...);
    int (*levelVPrint)(unsigned char, int, const char*, va_list);
    int (*levelBinData)(unsigned char, int, const unsigned char*, int);
    bool (*openConsole)();
    bool (*closeConsole)();
    void (*getTime)(char*);
};

// Each of the 19, by ordinal where the platform has ordinals; false when one is missing.
bool resolve(const platform::DynamicLibrary& library, Exports& exports) {
    void* addresses[19];
    for (unsigned i = 0; i < 19; ++i) {
        addresses[i] = library.exportByOrdinal(i + 1);
        if (!addresses[i] && !testing_support::kWindows)
            addresses[i] = library.symbol(kNames[i]);
        if (!addresses[i]) {
            std::printf("missing %u %s\n", i + 1, kNames[i]);
            return false;
        }
    }
    static_assert(sizeof(Exports) == sizeof addresses, "one pointer per export");
    std::memcpy(&exports, addresses, sizeof exports);
    return true;
}

int vprintThrough(const Exports& exports, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = exports.vprint(format, arguments);
    va_end(arguments);
    return length;
}

int levelVPrintThrough(const Exports& exports, unsigned char level, int id, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = exports.levelVPrint(level, id, format, arguments);
    va_end(arguments);
    return length;
}

void callEach(const Exports& e) {
    const unsigned char bytes[] = {1, 2, 3};
    e.setConsole(false);
    std::printf("GetConsole=%d\n", e.getConsole());
    e.setFile(true, "dynamic-output.txt", true);
    std::printf("GetFile=%d\n", e.getFile());
    e.setTimeStamp(true);
    e.setLevel(5);
    e.setLogFile("Dynamic", true, 3, 1000000);
    e.setLevelOutput(true, true, false);
    std::printf("Start=%d\n", e.start());
    std::printf("Print=%d\n", e.print("plain %d\n", 8));
    std::printf("VPrint=%d\n", vprintThrough(e, "vprint %d\n", 9));
    std::printf("BinData=%d\n", e.binData(bytes, 3));
    std::printf("LevelPrint=%d\n", e.levelPrint(5, 14, "level %d\n", 14));
    std::printf("LevelVPrint=%d\n", levelVPrintThrough(e, 5, 15, "level %d\n", 15));
    std::printf("LevelBinData=%d\n", e.levelBinData(5, 16, bytes, 3));
    char time[20] = "";
    e.getTime(time);
    std::printf("GetTime=%zu\n", std::strlen(time));
    std::printf("Stop=%d\n", e.stop());
    // Standard output belongs to the new console from here on (Windows): report on standard error.
    std::fprintf(stderr, "OpenConsole=%d\n", e.openConsole());
    std::fprintf(stderr, "CloseConsole=%d\n", e.closeConsole());
}

void traceToFiles(const Exports& exports, int count, const char* prefix) {
    exports.setConsole(false);
    exports.setFile(true, "output.txt", true);
    exports.setLogFile(prefix, true, 3, 100000000);
    exports.setLevelOutput(true, true, false);
    exports.start();
    for (int i = 0; i < count; ++i) {
        exports.print("plain 0 %d\n", i);
        exports.levelPrint(0, 0, "level 0 %d\n", i);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 3)
        return 2;
    if (std::string(argv[2]).rfind("own-handler", 0) == 0)
        InstallOwnFaultHandler(); // before the library is loaded
    std::string path = platform::joinPath(argv[1], platform::sharedLibraryFileName("Trace"));
    std::string mode = argv[2];
    auto library = std::make_unique<platform::DynamicLibrary>(path);
    Exports exports{};
    if (!library->loaded() || !resolve(*library, exports))
        return 1;
    if (mode == "all") {
        callEach(exports);
        return 0;
    }
    if (mode == "unload" && argc > 3) {
        int count = std::atoi(argv[3]);
        exports.setConsole(false);
        exports.setFile(true, "output.txt", true);
        exports.setLogFile("Unload", true, 3, 100000000);
        exports.setLevelOutput(true, true, false);
        exports.start();
        for (int i = 0; i < count; ++i) {
            exports.print("plain 0 %d\n", i);
            exports.levelPrint(0, 0, "level 0 %d\n", i);
        }
        library.reset(); // unloads with the print thread running
        std::printf("unloaded\n");
        if (testing_support::kWindows) {
            // The thread kept the library loaded: a new handle reaches the same one, and stopping works.
            library = std::make_unique<platform::DynamicLibrary>(path);
            if (!library->loaded() || !resolve(*library, exports))
                return 1;
            std::printf("Stop=%d\n", exports.stop());
        }
        return 0;
    }
    if (mode == "own-handler-crash" && argc > 3) {
        traceToFiles(exports, std::atoi(argv[3]), "Crash");
        CrashBy("segv");
    }
    if (mode == "own-handler-unload-crash") {
        traceToFiles(exports, 10, "Unload");
        library.reset();
        std::printf("unloaded\n");
        CrashBy("segv");
    }
    return 2;
}
