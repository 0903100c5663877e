// Demo host: uses the three libraries the way a host application does and shows what they did.
//
// On Windows it ends by opening the console window (--unattended SECONDS closes it by itself).
// Run it through scripts/demo.sh, which points the settings store at a file of its own (KITBAG_SETTINGS)
// and passes -logging:0x107 for the CLog logger (its own file, the console pipeline, COM error
// information, severities from TRACE up). The console log file is written beside the settings file;
// CLog's file beside this program ("demo_host.log").
#include "Console.h"
#include "Kitbag.h"
#include "Trace.h"

#if defined(_WIN32)
#include <windows.h>
#undef ERROR // a macro of the Windows headers: CLog::ERROR is meant below (see Console.h)
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* kSection = "Debug";

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string settingsPath() {
    const char* path = std::getenv("KITBAG_SETTINGS");
    return path && *path ? path : "";
}

// The console log goes beside the demo's settings file (or into the current folder).
std::string consoleLogPath() {
    std::string settings = settingsPath();
    std::size_t slash = settings.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : settings.substr(0, slash + 1)) + "demo-console.log";
}

void section(const char* title) {
    std::printf("\n== %s ==\n", title);
}

void settingsRoundTrip() {
    section("Kitbag settings store");
    std::printf("Storing: EnableTrace=1, EnableLogInfo=1, EnableLogToFile=1, InternalBufferSize=0x19000,\n"
                "         LogFile=%s\n",
                consoleLogPath().c_str());
    KB_SetBoolA(kSection, "EnableTrace", true);
    KB_SetBoolA(kSection, "EnableLogInfo", true);
    KB_SetBoolA(kSection, "EnableLogToFile", true);
    KB_SetBoolA(kSection, "EnableLogToDebugOutput", false);
    KB_SetStringA(kSection, "InternalBufferSize", "0x19000");
    KB_SetStringA(kSection, "LogFile", consoleLogPath().c_str());

    bool trace = false, toFile = false;
    int bufferSize = 0;
    char logFile[260] = "";
    KB_GetBoolA(kSection, "EnableTrace", &trace);
    KB_GetBoolA(kSection, "EnableLogToFile", &toFile);
    KB_GetIntA(kSection, "InternalBufferSize", &bufferSize);
    KB_GetStringA(kSection, "LogFile", logFile, sizeof logFile);
    std::printf("Read back: EnableTrace=%d EnableLogToFile=%d InternalBufferSize=%d\n           LogFile=%s\n",
                trace, toFile, bufferSize, logFile);

    bool missing = true;
    bool found = KB_GetBoolA(kSection, "NoSuchKey", &missing);
    std::printf("A missing key: found=%d, target left at %d\n", found, missing);

    BooleanValue avi(kSection, "Enable AVI Logging", false);
    avi.SetValue(!avi.GetValue());
    std::printf("Enable AVI Logging switched to %d (kept by the store at once)\n", avi.GetValue());
    std::printf("Settings file: %s\n",
                settingsPath().empty() ? "(the per-user default)" : settingsPath().c_str());
}

void consoleWriters() {
    section("Console writers");
    std::printf("CS_IsTraceEnabled=%d CS_IsLogEnabled=%d CS_IsLogErrorEnabled=%d\n", CS_IsTraceEnabled(),
                CS_IsLogEnabled(), CS_IsLogErrorEnabled());
    CS_TRACESIMPLE("CS_TRACESIMPLE writes its text as it is\n");
    CS_TRACE("CS_TRACE formats: %d frames in %.1f s\n", 250, 10.0);
    CS_TRACE("one line ");
    CS_TRACE("written in %d pieces\n", 2);
    CS_LOG("CS_LOG writes while EnableLogInfo is on: %s\n", "it is");
    CS_LOGERROR("CS_LOGERROR without a code\n");
    CS_LOGERROR(static_cast<long>(ENOENT), "CS_LOGERROR with a code: open failed");
    CS_LOGKRMERROR(KRMResult(-1, "device busy"), "CS_LOGKRMERROR: capture refused");
    CS_TRACEDD(20, 20, "CS_TRACEDD draws on the screen (Windows only)");
    std::printf("Wrote through every export.\n");
}

// A client sink: takes warnings and up, and the user alerts (so no alert box interrupts the demo).
class DemoCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity severity) override { return severity >= CLog::WARNING; }
    void OnMessage(CLog::LogSeverity severity, const CLog& log) override {
        std::printf("  callback got severity %d: %s", static_cast<int>(severity),
                    log.GetMessageText().c_str());
    }
};

DemoCallback demoCallback;

void streamLogger() {
    section("CLog stream logger");
    CLog& log = CS_GetLog();
    log.SetLogCallback(&demoCallback);
    std::printf("INFO enabled=%d TRACE enabled=%d; log file %s\n", log.IsEnabledFor(CLog::INFO),
                log.IsEnabledFor(CLog::TRACE), log.GetLogFilename().c_str());
    log << CLog::INFO << "below the threshold: not written";
    log << CLog::TRACE << "frames " << 250 << ", mask 0x" << Hex << 255 << Dec << ", ok " << true;
    log << CLog::WARNING << "disk " << 12 << " MB left" << Endl << "second line of the same message";
    log << CLog::ERROR << "open failed: " << static_cast<long>(2);
    log << CLog::USERALERT << "this goes to the user (here: to the callback, which takes it)";
    log.SetLogCallback(nullptr);
    std::printf("CLog wrote its header and these messages to %s (its footer follows at exit).\n",
                log.GetLogFilename().c_str());
}

void readBack() {
    section("GetDebugLogOutput(false)");
    char* plain = GetDebugLogOutput(false);
    std::printf("%s", plain ? plain : "(null)\n");
    std::free(plain);

    section("GetDebugLogOutput(true)");
    char* html = GetDebugLogOutput(true);
    std::printf("%s", html ? html : "(null)\n");
    std::free(html);

    section("Console log file");
    std::printf("%s holds:\n%s", consoleLogPath().c_str(), fileText(consoleLogPath()).c_str());

    std::string clogFile = CS_GetLog().GetLogFilename().str();
    section("CLog log file");
    std::printf("%s holds:\n%s", clogFile.c_str(), fileText(clogFile).c_str());
}

std::filesystem::path programFolder(const char* argv0) {
    return std::filesystem::absolute(argv0).parent_path();
}

void traceLibrary(const std::filesystem::path& folder) {
    section("Trace library");
    // Files go beside the executable: the output file, and trace files "DemoTrace..." replaced once past
    // 100 bytes (continued rather than emptied, as replacements within one second share a name).
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("DemoTrace", 0) == 0 || name == "demo-trace-output.txt")
            std::filesystem::remove(entry.path());
    }
    TraceSetFile(true, "demo-trace-output.txt", true);
    TraceSetLogFile("DemoTrace", false, TRACE_ROTATE_SIZE, 100);
    TraceSetLevelOutput(true, true, false);
    TraceSetLevel(3);
    std::printf("TraceStart=%d (plain trace below comes from the print thread)\n", TraceStart());

    std::vector<std::thread> threads;
    for (int t = 1; t <= 3; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 4; ++i) {
                TracePrint("thread %d says %d\n", t, i);
                TraceLevelPrint(static_cast<unsigned char>(t), t, "thread %d, level %d, message %d\n", t, t,
                                i);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    const unsigned char bytes[] = "Pelmora \x01\x02\x7f\x80\xff hex dump";
    TraceBinData(bytes, sizeof bytes - 1);
    TraceLevelBinData(0, 7, bytes, sizeof bytes - 1);
    std::printf("TraceLevelPrint above the threshold returns %d\n", TraceLevelPrint(9, 1, "dropped\n"));
    TraceStop();

    std::printf("\nFiles in %s:\n", folder.string().c_str());
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("DemoTrace", 0) == 0 || name == "demo-trace-output.txt")
            std::printf("  %-48s %6ju bytes\n", name.c_str(), static_cast<std::uintmax_t>(entry.file_size()));
    }
    std::printf("\nTrace file of id 7 (the hex dump):\n");
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("DemoTrace00000007", 0) == 0)
            std::printf("%s", fileText(entry.path().string()).c_str());
    }
}

#if defined(_WIN32)
// The last COUNT lines of a text from Console (freed here).
std::string lastLines(char* text, int count) {
    std::string all = text ? text : "";
    std::free(text);
    std::size_t start = all.size();
    for (int lines = 0; start > 0 && lines <= count; --start) {
        if (all[start - 1] == '\n' && ++lines > count)
            break;
    }
    return all.substr(start);
}
#endif

// Two reports the console window lists in its "Reports" menu; running one writes to the log.
class FrameStatisticsReport final : public KRMReport {
public:
    std::string GetName() override { return "Frame statistics"; }
    void Run() override { CS_TRACE("frames delivered 250, dropped 0, late 3\n"); }
};

class DeviceListReport final : public KRMReport {
public:
    std::string GetName() override { return "Device list"; }
    void Run() override {
        CS_TRACE("video: Demo Camera (default)\n");
        CS_TRACE("audio: Demo Microphone (default)\n");
    }
};

FrameStatisticsReport frameStatistics;
DeviceListReport deviceList;

constexpr unsigned kSayHelloCommand = 9100;

void pluginCommand(unsigned int command) {
    if (command == kSayHelloCommand)
        CS_TRACE("Hello from the demo's plug-in menu\n");
}

void reportsAndPlugins(const std::filesystem::path& folder) {
    section("Reports, plug-in menu and HTML report");
    ConsoleAddReport(frameStatistics);
    ConsoleAddReport(deviceList);
    std::printf("Registered the reports \"%s\" and \"%s\" (the console window's Reports menu).\n",
                frameStatistics.GetName().c_str(), deviceList.GetName().c_str());
#if defined(_WIN32)
    HMENU plugins = CreatePopupMenu();
    AppendMenuA(plugins, MF_STRING, kSayHelloCommand, "Say hello");
    void (*handler)(unsigned int) = pluginCommand;
    void* handlerAddress = nullptr;
    std::memcpy(&handlerAddress, &handler, sizeof handlerAddress);
    ConsoleAddMenu(plugins, handlerAddress);
    std::printf("Added a \"Plugins\" menu with one item, \"Say hello\".\n");
#else
    (void)pluginCommand;
    std::printf("Plug-in menus belong to the console window (Windows).\n");
#endif
    // The report file goes into the current folder: the demo's own folder here.
    std::filesystem::current_path(folder);
    DisplayHTMLReport("<html><body><h1>Demo report</h1><p>250 frames, 0 dropped.</p></body></html>\n");
    std::printf("DisplayHTMLReport wrote %s and asked the system to open it:\n%s",
                (folder / "pelmora_report.html").string().c_str(),
                fileText((folder / "pelmora_report.html").string()).c_str());
}

} // namespace

// Windows: opens the console window and keeps it open until the user closes it, or for the given number of
// seconds when run unattended. Linux has no console window.
void consoleWindow(int unattendedSeconds) {
    section("Console window");
#if defined(_WIN32)
    DisplayLog();
    CS_TRACE("The console window shows the buffered log and follows every new line.\n");
    std::printf(unattendedSeconds > 0 ? "Opened the console window for %d seconds.\n"
                                      : "Opened the console window: close it to end the demo.\n",
                unattendedSeconds);
    auto window = [] { return FindWindowA("PLCONSOLEWINDOW", nullptr); };
    for (int i = 0; i < 500 && !window(); ++i)
        Sleep(10);
    if (unattendedSeconds > 0) {
        // What a person would choose from the menus: both reports and the plug-in's item.
        for (unsigned command : {6969u, 6970u, kSayHelloCommand})
            PostMessageA(window(), WM_COMMAND, command, 0);
    }
    for (int waited = 0; window() && (unattendedSeconds <= 0 || waited < unattendedSeconds * 1000);
         waited += 100) {
        if (waited % 1000 == 0)
            CS_TRACE("demo still running, %d s\n", waited / 1000);
        Sleep(100);
    }
    if (HWND open = window())
        PostMessageA(open, WM_CLOSE, 0, 0);
    for (int i = 0; i < 200 && window(); ++i)
        Sleep(10);
    std::printf("The console log now ends with:\n%s", lastLines(GetDebugLogOutput(false), 8).c_str());
#else
    (void)unattendedSeconds;
    DisplayLog();
    std::printf("No console window on Linux: DisplayLog loads the settings and returns.\n");
#endif
}

int main(int argc, char** argv) {
    int unattendedSeconds = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--unattended")
            unattendedSeconds = std::atoi(argv[i + 1]);
    }
    settingsRoundTrip();
    consoleWriters();
    streamLogger();
    readBack();
    traceLibrary(programFolder(argv[0]));
    reportsAndPlugins(programFolder(argv[0]));
    consoleWindow(unattendedSeconds);
    return 0;
}
