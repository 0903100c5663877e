// The module-wide state of Console: one record, consoleState, with the lock that guards it, the flags of
// the settings' load, the module's instance handle and the count of what Console's boundary dropped.
//
// Everything here lives for the life of the loaded module (console_state.cpp says in which order). Which
// lock guards which member is written on the member; the switches are single bytes that any thread reads
// without a lock and the console window's menu writes, so they are atomics.
#pragma once

#include "Kitbag.h"
#include "exception_boundary.h"
#include "state/console_lock.h"
#include "state/log_ring_buffer.h"

#include <atomic>
#include <vector>

class KRMReport;
class KRMDiagnostic;

// Handler of the host's plug-in menu: gets the chosen command identifier.
using PluginCommandHandlerFunction = void (*)(unsigned int commandId);

// The pipeline's lock: every text leaves Console under it, and the settings' load holds it from start to
// end.
extern ConsoleLock& PipelineLock;
// Every line holds PipelineLock for a moment (the copy into the ring buffer): it spins before it waits.
constexpr unsigned kPipelineLockSpins = 24;

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

    char logFile[260] CONSOLE_GUARDED_BY(PipelineLock) = {}; // "LogFile"
    // The last load found a "LogFile" too long for logFile and left logFile empty; saving keeps the long
    // name in the store.
    bool logFileRefused CONSOLE_GUARDED_BY(PipelineLock) = false;
    // The last load found logFile read-only, a symbolic link or no regular file: it is kept, and the file
    // sink writes nothing until the next load or until another file is chosen.
    bool logFileKept CONSOLE_GUARDED_BY(PipelineLock) = false;
    LogRingBuffer DebugLogBuffer CONSOLE_GUARDED_BY(PipelineLock);

    void* mainWindow = nullptr; // HWND of the console window
    void* PluginMenu = nullptr; // HMENU given by ConsoleAddMenu
    PluginCommandHandlerFunction PluginCommandHandler = nullptr;

    // Hosts register from any thread while the window thread reads them.
    ConsoleLock registryLock;
    std::vector<KRMReport*> ReportRegistry CONSOLE_GUARDED_BY(registryLock);
    std::vector<KRMDiagnostic*> DiagnosticRegistry CONSOLE_GUARDED_BY(registryLock);
};

// The module-wide objects, defined in console_state.cpp (kept when the process exits while other threads
// may still use them).
extern ConsoleState& consoleState;

// The settings' load (api/console_settings.h): set when a load begins, and when the first load has
// finished (the fast path of LoadSettings(false), which every export takes).
extern std::atomic<bool> settingsLoaded;
extern std::atomic<bool> firstLoadFinished;

// The module's own instance handle (HINSTANCE), recorded when the process attaches the module: the source
// of its resources and the argument of the window thread. Null on Linux, where nothing needs it.
extern void* moduleInstance;

// What Console's boundary turned from an exception into its failure answer (a message or a setting that
// could not be taken). For the tests; no export shows it.
boundary::DropCount& ConsoleDrops();
