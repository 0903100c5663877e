// CTrace: the one trace object of the library (trace_exports.cpp forwards the 19 exports to it).
//
// Threads: any thread may trace and configure. Producers format on their own stack and hold the queue's
// lock only to link one message. The print thread alone writes the trace files while it runs. The output
// file is opened by the thread that switches it on and written by the print thread, each under
// m_outFileLock, and file output is switched on only once the file is open. The switches are atomics; the
// trace-file settings (base name, rotation mode, size limit, new-file switch, period stamp) are read and
// written under m_settingsLock, so a change from another thread is seen whole.
//
// Ownership: the object owns its queue, its output file and the trace files of m_mapLogs. The clock and the
// console output (trace_seams.h) are the installer's, held by address.
//
// Nothing here lets an exception out towards a host or out of the print thread: a message that cannot get
// the memory it needs is dropped.
#pragma once

#include "level_record.h"
#include "log_msg.h"
#include "msg_list.h"
#include "platform.h"
#include "trace_file_names.h"
#include "trace_seams.h"
#include "trace_time.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

constexpr int TRACE_MSG_STOP = 0x801;
constexpr int TRACE_MSG_PRINT = 0x802;
constexpr int TRACE_MSG_LEVEL = 0x803;

constexpr int kPlainBufferSize = 10241;
// The leveled record (level_record.h) is formatted into a buffer of this size.
constexpr int kLevelBufferSize = 10240;
// No message keeps more than this many characters of its text, so no more of a hex dump is ever built.
constexpr std::size_t kDumpKeptCharacters = kPlainBufferSize - 1;

class CTrace {
public:
    // How a trace file object is made (a seam for the tests: null stands for no memory).
    using LogMsgFactory = CLogMsg* (*)();

    CTrace();
    virtual ~CTrace();
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    // ---- Configuration (exports 3 to 7, 11 to 13; ctrace.cpp) ----
    void SetConsole(bool enable) { m_bConsole = enable; }
    bool GetConsole() const { return m_bConsole; }
    bool GetFile() const { return m_bFile; }
    // Opens the output file at path (emptied when newFile), then switches file output on; when the file
    // cannot be opened, file output is off. A file open already is kept (path is then ignored).
    void SetFile(bool enable, const std::string& path, bool newFile);
    void SetTimeStamp(bool enable) { m_bTimeStamp = enable; }
    void SetLevel(std::uint8_t level) { m_nLevel = level; }
    // folderKnown false: the folder of the trace files could not be had, so none is created (each attempt
    // is reported as a file that cannot be created) rather than one in the current folder.
    void SetLogFile(const std::string& baseName, bool newFile, int mode, int maxSize,
                    bool folderKnown = true);
    void SetLevelOutput(bool enable, bool toFiles, bool toConsole);
    // Takes the period stamp from the clock.
    void UpdatePeriod();

    // ---- Tracing (exports 8 to 10, 14 to 16), on the caller's thread (ctrace.cpp) ----
    int Print(const char* format, va_list arguments);
    int PrintText(const char* text); // the library's own messages
    int LevelPrint(std::uint8_t level, int id, const char* format, va_list arguments);
    int BinData(const unsigned char* data, int length);
    int LevelBinData(std::uint8_t level, int id, const unsigned char* data, int length);

    // ---- The print thread (print_thread.cpp) and the trace files (level_log.cpp) ----
    bool Start();
    bool Stop();
    bool IsRunning() const { return m_bRunning; }
    int PrintThread();
    void CloseLevelLogs();
    // Writes one leveled text (after its time prefix) to the trace file of its id: 0 written, -1 not.
    // A file is never emptied if this object wrote a file of that name already, and a size replacement
    // whose new name is the open file's own (within the second that named it) keeps writing that file.
    int WriteLevelLog(std::uint8_t level, int id, char* text);

    // ---- Seams (trace_seams.h) ----
    // Installed before the object is used from more than one thread; the object stays the caller's and
    // must outlive its use here. By default: standard output, the system's clock, new CLogMsg objects.
    void SetConsoleOutput(ConsoleOutput& output) { m_consoleOutput = &output; }
    void SetClock(const TraceClock& clock) { m_clock = &clock; }
    void SetLogMsgFactory(LogMsgFactory factory) { m_newLogMsg = factory; }
    // For the library's unload at Windows process exit: the print thread was killed, not stopped.
    void SetProcessTerminating() { m_processTerminating = true; }
    // For tests: the queue and the open trace files.
    CMsgList& Queue() { return m_MsgList; }
    std::size_t OpenTraceFiles() const { return m_mapLogs.size(); }
    PeriodStamp Period();
    std::string BaseName();

private:
    using LevelLogs = std::map<std::int32_t, std::unique_ptr<CLogMsg>>;

    // What WriteLevelLog reads of the settings, taken at once.
    struct FileSettings {
        int rotateMode;
        int maxSize;
        bool newFile;
        bool folderKnown;
        PeriodStamp period;
    };

    platform::LocalTime Now() const { return m_clock->Now(); }
    // Writes the time prefix of a message when time stamps are on; returns its length.
    int WritePrefix(char* buffer);

    // ---- The print thread (print_thread.cpp) ----
    static unsigned ThreadEntry(void* trace);
    void HandleMessage();
    // HandleMessage, dropping the message when it throws (no memory).
    void HandleMessageOrDrop();
    void HandlePlainMessage(char* text);
    void HandleLevelMessage(char* record, unsigned length);
    void WritePlainToFile(char* text);
    // With m_outFileLock held, or while draining.
    void WritePlainToFileLocked(const char* text);
    // Hands every line the files hold to the system.
    void FlushFiles();
    void DrainAtProcessExit();

    // ---- The trace files (level_log.cpp); on the print thread ----
    FileSettings CurrentFileSettings();
    // UpdatePeriod, answering the new stamp.
    PeriodStamp RefreshPeriod();
    // Every open file gets its closing line and continues under a name of the new period. False when one
    // could not be reopened (reported, its entry removed; the files after it are left as they are).
    bool ContinueAllUnderNewPeriod(const platform::LocalTime& now, const FileSettings& settings);
    // The open file of the id: made for a new id, replaced when it outgrew the size limit. Null when it
    // could not be had (reported).
    CLogMsg* FileForId(int id, const platform::LocalTime& now, const FileSettings& settings);
    CLogMsg* OpenFileForId(int id, const platform::LocalTime& now, const FileSettings& settings);
    // False when the file had to be replaced and could not be (reported, its entry removed).
    bool ReplaceIfOversized(LevelLogs::iterator entry, const platform::LocalTime& now,
                            const FileSettings& settings);
    // Writes the closing line into the entry's file, closes it and reopens the same object under name. False
    // when that fails: reported, the entry removed.
    bool ReopenWithClosingLine(LevelLogs::iterator entry, const std::string& name, const PeriodStamp& stamp,
                               const FileSettings& settings);
    bool OpenTraceFile(CLogMsg& file, const std::string& name, const PeriodStamp& stamp,
                       const FileSettings& settings);
    // Emits a report of the trace files through the plain trace.
    void ReportCreateFailure(const std::string& name);
    // After an exception in WriteLevelLog: entries left without an open file are removed, so that the next
    // message for their id starts a file as for a new id.
    void DropClosedLevelLogs();

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
    bool m_bFolderKnown = true;
    PeriodStamp m_period;
    std::atomic<std::uint8_t> m_nLevel{0};
    LevelLogs m_mapLogs; // the print thread's
    // The trace-file names this object opened under the current period stamp (the print thread's). Every
    // name carries the stamp it was built with, and the stamp only moves forward with the clock, so names
    // of an earlier stamp never come back and are forgotten.
    std::set<std::string> m_namesOpened;
    PeriodStamp m_namesPeriod;

    platform::RecursiveLock m_settingsLock;
    platform::RecursiveLock m_outFileLock; // m_OutFile
    platform::Event m_threadStarted{false, true};
    ConsoleOutput* m_consoleOutput;
    const TraceClock* m_clock;
    LogMsgFactory m_newLogMsg;
    bool m_processTerminating = false;
    bool m_bDraining = false; // the unload writes what the print thread left: no other thread writes then
    // The print thread's, while it runs: files are flushed once a batch, not after each line.
    bool m_bBatchedFlush = false;
    TraceTimeCache m_timePrefix; // the prefix of the messages' second, for the threads that trace
};

// Print and LevelPrint with their arguments in place.
int PrintFormatted(CTrace& trace, const char* format, ...) __attribute__((format(printf, 2, 3)));
int LevelPrintFormatted(CTrace& trace, std::uint8_t level, int id, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
