// ConsoleState: the one module-wide record of Console, its settings and their persistence in Kitbag.
//
// One instance, consoleState, lives for the life of the loaded module (see console_module.cpp). The
// switches are single bytes that any thread reads without a lock and the console window's menu writes;
// they are atomics so that this is well defined. logFile and DebugLogBuffer are used under PipelineLock.
#pragma once

#include "Kitbag.h"
#include "api/log_ring_buffer.h"
#include "platform.h"

#include <atomic>
#include <vector>

class KRMReport;
class KRMDiagnostic;

// Handler of the host's plug-in menu: gets the chosen command identifier.
using PluginCommandHandlerFunction = void (*)(unsigned int commandId);

struct ConsoleState {
    ConsoleState();
    ~ConsoleState() = default;
    ConsoleState(const ConsoleState&) = delete;
    ConsoleState& operator=(const ConsoleState&) = delete;

    std::atomic<bool> logToDebugOutput{false}; // "EnableLogToDebugOutput"
    std::atomic<bool> logToFile{false};        // "EnableLogToFile"
    std::atomic<bool> logInfo{false};          // "EnableLogInfo"
    std::atomic<bool> logError{true};          // "EnableLogError"
    std::atomic<bool> trace{true};             // "EnableTrace"
    BooleanValue aviLogging;                   // "Enable AVI Logging", kept by Kitbag
    bool aviLoggingShown = false;
    BooleanValue captureLogging; // "Capture Logging", kept by Kitbag
    bool captureLoggingShown = false;
    char logFile[260] = {}; // "LogFile"
    // The last load found logFile read-only, a symbolic link or no regular file: it is kept, and the file
    // sink writes nothing until the next load or until another file is chosen. Under PipelineLock.
    bool logFileKept = false;
    LogRingBuffer DebugLogBuffer;
    void* mainWindow = nullptr; // HWND of the console window
    void* PluginMenu = nullptr; // HMENU given by ConsoleAddMenu
    PluginCommandHandlerFunction PluginCommandHandler = nullptr;
    // Under registryLock: hosts register from any thread while the window thread reads them.
    std::vector<KRMReport*> ReportRegistry;
    std::vector<KRMDiagnostic*> DiagnosticRegistry;
    platform::RecursiveLock registryLock;
};

// The module-wide objects, defined in console_module.cpp (kept when the process exits while other threads
// may still use them).
extern ConsoleState& consoleState;
// Set when a load of the settings begins.
extern std::atomic<bool> settingsLoaded;

constexpr const char* kSettingsSection = "Debug";
constexpr const char* kStartBannerFormat = "*** Pelmora Console started at %s\n";

// Set when the first load has finished: the fast path of LoadSettings(false), which every export takes.
extern std::atomic<bool> firstLoadFinished;

// Reads the settings and prepares the record: a new buffer, the log file deleted when file logging is on
// (only a writable regular file: another is kept and not written, see logFileKept), the start banner. A
// "LogFile" longer than logFile holds is refused: logFile is then empty. A load holds PipelineLock from start
// to end, so texts that other threads emit meanwhile wait for it instead of finding no buffer. Nothing
// throws: without memory the rest of the load is skipped.
void LoadSettingsNow(bool force);

// With force false only the first call in the process loads; later calls return at once.
inline void LoadSettings(bool force) {
    if (force || !firstLoadFinished.load(std::memory_order_acquire))
        LoadSettingsNow(force);
}
// Writes the persisted settings back; called when the console window is destroyed.
void SaveSettings();
// The banner's time text in the asctime layout: "Wed Jun 30 21:49:08 1993\n".
std::string AsctimeText(int year, int month, int day, int dayOfWeek, int hour, int minute, int second);
