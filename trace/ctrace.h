// CTrace: the one trace object of the library (see trace_exports.cpp for the 19 exports).
//
// Threads: any thread may trace and configure. Producers format on their own stack and hold the queue's
// lock only to link one message. The print thread alone writes the output file and the trace files while
// it runs. The switches are atomics; the trace-file settings (base name, rotation mode, size limit,
// new-file switch, period stamp) are read and written under m_settingsLock, so a change from another
// thread is seen whole.
#pragma once

#include "log_msg.h"
#include "msg_list.h"
#include "platform.h"
#include "trace_file_names.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

constexpr int TRACE_MSG_STOP = 0x801;
constexpr int TRACE_MSG_PRINT = 0x802;
constexpr int TRACE_MSG_LEVEL = 0x803;

// A leveled record: byte 0 the level, bytes 1-4 the id (little-endian, unaligned), then the text.
constexpr int kLevelRecordHeader = 5;
constexpr int kPlainBufferSize = 10241;
constexpr int kLevelBufferSize = 10240;

class CTrace {
public:
    // Seams for the tests: where console text goes (standard output by default), the clock of the trace
    // files, and how a trace file object is made (null: no memory).
    using ConsoleOutput = void (*)(const char* text);
    using Clock = platform::LocalTime (*)();
    using LogMsgFactory = CLogMsg* (*)();

    CTrace();
    virtual ~CTrace();
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    // ---- Configuration (exports 3 to 7, 11 to 13) ----
    void SetConsole(bool enable) { m_bConsole = enable; }
    bool GetConsole() const { return m_bConsole; }
    bool GetFile() const { return m_bFile; }
    // Opens the output file at path (emptied when newFile); on failure file output falls back to off.
    void SetFile(bool enable, const std::string& path, bool newFile);
    void SetTimeStamp(bool enable) { m_bTimeStamp = enable; }
    void SetLevel(std::uint8_t level) { m_nLevel = level; }
    std::uint8_t GetLevel() const { return m_nLevel; }
    void SetLogFile(const std::string& baseName, bool newFile, int mode, int maxSize);
    void SetLevelOutput(bool enable, bool toFiles, bool toConsole);
    void UpdatePeriod();

    // ---- Tracing (exports 8 to 10, 14 to 16) ----
    int Print(const char* format, va_list arguments);
    int PrintText(const char* text); // the library's own messages
    int LevelPrint(std::uint8_t level, int id, const char* format, va_list arguments);
    int BinData(const unsigned char* data, int length);
    int LevelBinData(std::uint8_t level, int id, const unsigned char* data, int length);

    // ---- The print thread ----
    bool Start();
    bool Stop();
    bool IsRunning() const { return m_bRunning; }
    int PrintThread();
    void CloseLevelLogs();
    // Writes one leveled text (after its time prefix) to the trace file of its id: 0 written, -1 not.
    int WriteLevelLog(std::uint8_t level, int id, char* text);

    // ---- Seams ----
    void SetConsoleOutput(ConsoleOutput output) { m_consoleOutput = output; }
    void SetClock(Clock clock) { m_clock = clock; }
    void SetLogMsgFactory(LogMsgFactory factory) { m_newLogMsg = factory; }
    // For the library's unload at Windows process exit: the print thread was killed, not stopped.
    void SetProcessTerminating() { m_processTerminating = true; }
    // For tests: the queue and the open trace files.
    CMsgList& Queue() { return m_MsgList; }
    std::size_t OpenTraceFiles() const { return m_mapLogs.size(); }
    PeriodStamp Period();
    std::string BaseName();

private:
    static unsigned ThreadEntry(void* trace);
    void HandleMessage();
    void WritePlainToFile(char* text);
    bool ReopenAll(const platform::LocalTime& now);
    // Emits a report of the trace files through the plain trace.
    void ReportCreateFailure(const std::string& name);
    void DrainAtProcessExit();

    std::atomic<bool> m_bRunning{false};
    CMsgList m_MsgList;
    CLogMsg m_OutFile;
    std::atomic<bool> m_bConsole{true};
    std::atomic<bool> m_bFile{false};
    std::atomic<bool> m_bTimeStamp{true};
    platform::Thread m_hThread;
    std::atomic<bool> m_bLevelTrace{false};
    std::atomic<bool> m_bLevelConsole{true};
    std::atomic<bool> m_bLevelFile{true};
    // Under m_settingsLock:
    bool m_bNewFile = true;
    std::string m_strBaseName;
    int m_nRotateMode = kRotateHour;
    int m_nMaxSize = 102400000;
    PeriodStamp m_period;
    std::atomic<std::uint8_t> m_nLevel{0};
    std::map<std::int32_t, std::unique_ptr<CLogMsg>> m_mapLogs; // the print thread's

    platform::RecursiveLock m_settingsLock;
    platform::Event m_threadStarted{false, true};
    ConsoleOutput m_consoleOutput;
    Clock m_clock;
    LogMsgFactory m_newLogMsg;
    bool m_processTerminating = false;
};

// Print and LevelPrint with their arguments in place.
int PrintFormatted(CTrace& trace, const char* format, ...) __attribute__((format(printf, 2, 3)));
int LevelPrintFormatted(CTrace& trace, std::uint8_t level, int id, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
