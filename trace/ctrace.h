// CTrace: the one trace object of the library (trace_exports.cpp forwards the 19 exports to it).
//
// Threads: any thread may trace, configure, start and stop. Producers format on their own stack and hold
// the queue's lock only to link one message. Starts and stops take turns (m_startStopLock): there is one
// print thread at most, and the trace files are closed only once it has ended. The files (the output file
// and the trace files) are used under m_filesLock: by the print thread while it writes one message, by the
// thread that switches the output file on, and by whoever closes them; file output is switched on only once
// the file is open. The switches are atomics; the trace-file settings (base name, rotation mode, size limit,
// new-file switch, period stamp) are read and written under m_settingsLock, so a change from another thread
// is seen whole. Locks are taken in the order files, settings, queue.
//
// fork(): the forking thread holds the three locks across the fork (the files are flushed first), so the
// child finds them whole; the child starts without the parent's print thread and messages (see
// StartCleanInForkedChild).
//
// Ownership: the object owns its queue, its output file and the trace files of m_mapLogs. The clock and the
// console output (trace_seams.h) are the installer's, held by address.
//
// The trace files of the leveled trace are written through m_traceFiles (trace_file_set.h), which only the
// print thread writes through: its key (thread_roles.h) is made in its entry and handed down the calls only
// it makes. The types of m_bBatchedFlush, m_bDraining and m_processTerminating say who writes and reads them.
//
// Nothing here lets an exception out towards a host or out of the print thread: a message that cannot get
// the memory it needs is dropped.
#pragma once

#include "level_record.h"
#include "log_msg.h"
#include "msg_list.h"
#include "platform.h"
#include "thread_roles.h"
#include "time_prefix_cache.h"
#include "trace_file_names.h"
#include "trace_file_set.h"
#include "trace_seams.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
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

    // ---- The print thread (print_thread.cpp) ----
    // Start and Stop take turns: a second Start finds the thread running, a second Stop waits for the first
    // and then finds nothing to stop.
    bool Start();
    bool Stop();
    bool IsRunning() const { return m_bRunning; }
    int PrintThread();
    void CloseLevelLogs();

    // ---- Seams (trace_seams.h) ----
    // Installed before the object is used from more than one thread; the object stays the caller's and
    // must outlive its use here. By default: standard output, the system's clock, new CLogMsg objects.
    void SetConsoleOutput(ConsoleOutput& output) { m_consoleOutput = &output; }
    void SetClock(const TraceClock& clock) { m_clock = &clock; }
    void SetLogMsgFactory(LogMsgFactory factory) { m_newLogMsg = factory; }
    // For the library's unload at Windows process exit: the print thread was killed, not stopped.
    void SetProcessTerminating() { m_processTerminating.Set(UnloadKey(), true); }
    // Ends tracing as the library unloads or the process exits; true when the object may then be destroyed
    // (unload: the destructor stops the thread, waiting for as long as it writes). At the process's exit the
    // object is never destroyed: the print thread may still be inside a write (its wait is bounded there)
    // and other threads may still trace; the process's end takes it all back. Once ended, Start starts
    // nothing and Stop does nothing.
    bool EndForUnload();

    // ---- A crash (crash_drain.cpp) ----
    // On the crashing thread, from the fatal-fault handler, which bounds its run: writes what is queued
    // where it would have gone, flushes it, then writes one line, the description, last (console, output
    // file, each open trace file). The print thread hands the queue over between two messages or is the
    // crashing thread itself; every wait for it and for a lock is bounded (kCrashWaitMilliseconds each), and
    // what cannot be had in time is left unwritten rather than written half. Tracing then stands still:
    // the locks stay held until the process ends.
    void WriteAtCrash(const char* description);

    // ---- fork() (print_thread.cpp): for the one trace object of the library ----
    // Before the fork, in the forking thread: waits for the print thread to finish the message it writes,
    // flushes the files and holds the locks, so that the child finds everything whole.
    void HoldForFork();
    void ReleaseAfterFork(); // in the parent
    // In the child, where only the forking thread runs: no print thread (the next Start starts one), the
    // parent's pending messages dropped (its print thread writes them), every lock and event made anew. The
    // open files stay open: their buffers were flushed before the fork, so nothing of the parent's comes
    // out twice.
    void StartCleanInForkedChild();
    // For tests: the queue and the open trace files, and the set that writes them (which asks for the print
    // thread's key).
    CMsgList& Queue() { return m_MsgList; }
    CTraceFileSet& TraceFiles() { return m_traceFiles; }
    std::size_t OpenTraceFiles() const { return m_mapLogs.size(); }
    // The records kept of the trace-file names opened (each of the same size).
    std::size_t NameRecordsKept() const { return m_traceFiles.NameRecordsKept(); }
    PeriodStamp Period();
    std::string BaseName();

private:
    // The file set reads the settings, the clock and the map of this object, and reports through it.
    friend class CTraceFileSet;
    using LevelLogs = CTraceFileSet::Files;

    platform::LocalTime Now() const { return m_clock->Now(); }
    // Shows a text on the console. Not while the unload drains the queue at a Windows process exit: the
    // killed print thread may have died inside a console write holding the stream's lock, and standard
    // output may be a pipe nobody reads; either would keep the process from ending.
    // Nor after a console write that did not come back (a killed or crashed print thread), nor while a
    // crash's drain writes the files.
    void WriteConsole(const char* text) {
        if (!m_bDraining.IsOn() && !m_bConsoleSkipped.load(std::memory_order_relaxed) &&
            m_crashSinks.load(std::memory_order_relaxed) != CrashSinks::Files)
            m_consoleOutput->Write(text);
    }
    // Whether messages go to the files: not while a crash's drain writes the console.
    bool FilesWanted() const { return m_crashSinks.load(std::memory_order_relaxed) != CrashSinks::Console; }
    // Writes the time prefix of a message when time stamps are on; returns its length.
    int WritePrefix(char* buffer);

    // ---- The print thread (print_thread.cpp) ----
    static unsigned ThreadEntry(void* trace);
    void HandleMessage(PrintThreadKey printThread);
    // HandleMessage, dropping the message when it throws (no memory).
    void HandleMessageOrDrop(PrintThreadKey printThread);
    // The current message is through (see MessageStage).
    void MarkMessageHandled();
    void HandlePlainMessage(PrintThreadKey printThread, char* text);
    void HandleLevelMessage(PrintThreadKey printThread, char* record, unsigned length);
    void WritePlainToFile(PrintThreadKey printThread, char* text);
    // Hands every line the files hold to the system.
    void FlushFiles();
    // With m_startStopLock held: when the thread runs, marks it stopped and queues the stop message behind
    // everything else; false when no thread runs.
    bool TellThreadToStop();
    void EndAtExit();
    void EndAtProcessTermination();
    // Whether the print thread has ended, waiting for it up to about the time.
    bool ThreadGoneWithin(unsigned milliseconds);
    void DrainAtProcessExit();

    // ---- A crash (crash_drain.cpp) ----
    // With the queue handed over and its lock and the files' lock held: writes what is queued to the
    // files (when the crashing thread is the print thread, the message it was handling is finished
    // first), and answers where that began. Then the console gets the same, from there: a console that
    // blocks (a pipe nobody reads) then keeps nothing from the files.
    CMsgList::ReadPosition DrainToFilesAtCrash(bool onPrintThread);
    void DrainToConsoleAtCrash(CMsgList::ReadPosition from);
    void WriteCrashLineToFiles(const char* description);
    void WriteCrashLineToConsole(const char* description);

    // ---- Settings the trace files are written by (ctrace.cpp) ----
    // UpdatePeriod, answering the new stamp.
    PeriodStamp RefreshPeriod();

    // Holds m_filesLock for a scope, except while the unload drains the queue (the killed print thread may
    // have died holding it; no other thread runs then).
    class FilesHold {
    public:
        explicit FilesHold(CTrace& trace) : m_lock(trace.m_bDraining.IsOn() ? nullptr : &trace.m_filesLock) {
            if (m_lock)
                m_lock->lock();
        }
        ~FilesHold() {
            if (m_lock)
                m_lock->unlock();
        }
        FilesHold(const FilesHold&) = delete;
        FilesHold& operator=(const FilesHold&) = delete;

    private:
        platform::RecursiveLock* m_lock;
    };

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
    LevelLogs m_mapLogs; // under m_filesLock
    // The print thread's: writes m_mapLogs' files under m_filesLock.
    CTraceFileSet m_traceFiles{*this, m_mapLogs};

    platform::RecursiveLock m_startStopLock;
    bool m_bEnded = false;               // under m_startStopLock: the unload or exit ended tracing
    platform::RecursiveLock m_filesLock; // m_OutFile, m_mapLogs, m_traceFiles and the files' objects
    platform::RecursiveLock m_settingsLock;
    platform::Event m_threadStarted{false, true};
    platform::Event m_threadEnded{false, true};
    // Messages the print thread has handled: whether it gets on with its work while the exit waits for it.
    // Counted once a message on a cache line of its own: on a line the callers read (the clock, the
    // prefix's cache) it would move between the print thread and every caller.
    alignas(64) std::atomic<std::uint64_t> m_messagesHandled{0};
    char m_messagesHandledLineEnd[64 - sizeof(std::atomic<std::uint64_t>)] = {};
    ConsoleOutput* m_consoleOutput;
    const TraceClock* m_clock;
    LogMsgFactory m_newLogMsg;
    // Set by the library's unload at a Windows process exit, read by the same unload.
    OwnedBy<UnloadKey, bool> m_processTerminating{false};
    // Turned on by the unload as it writes what the killed print thread left: no other thread writes then,
    // but any thread reads it (console output and the files' lock are skipped while it is on).
    SwitchTurnedBy<UnloadKey> m_bDraining;
    // How far the print thread got with its current message, for whoever stands in for it when it was
    // killed (Windows process exit) or crashed: the message is finished from there, so that it comes out
    // once. Taken but untouched (Idle), its console write under way (Console), a file write under way
    // (Files), or in a file's buffer (Written, which the next flush hands to the system).
    enum class MessageStage : int { Idle, Console, Files, Written };
    std::atomic<MessageStage> m_messageStage{MessageStage::Idle};
    // The queue's count of takes when the print thread had finished its current message.
    std::atomic<std::uint64_t> m_takesHandled{0};
    // Finishes the current message the print thread left (see MessageStage). A message left in a file
    // write whose line did not get in (m_lineUnderWay) is written again when retryFileWrite (a killed
    // thread stopped somewhere in it), else not (the write itself faulted).
    void FinishLeftMessage(PrintThreadKey standIn, bool retryFileWrite);
    // The note of the line a file write of the current message is about to write (see LineUnderWay).
    LineUnderWay m_lineUnderWay;
    // The current message's file stage begins: no line of it noted yet.
    void EnterFileStage();
    void NoteLineUnderWay(const CLogMsg& file);
    // For the thread standing in for a print thread that stopped anywhere: each file learns what of its
    // buffer reached it (CLogMsg::TakeOverFromStoppedWriter).
    void TakeOverFilesFromStoppedWriter();
    std::atomic<bool> m_bConsoleSkipped{false};
    // Which sinks a crash's drain writes now (every sink otherwise).
    enum class CrashSinks : int { All, Files, Console };
    std::atomic<CrashSinks> m_crashSinks{CrashSinks::All};
    // The print thread's, while it runs: files are flushed once a batch, not after each line.
    OwnedBy<PrintThreadKey, bool> m_bBatchedFlush{false};
    TraceTimeCache m_timePrefix; // the prefix of the messages' second, for the threads that trace
};

// Print and LevelPrint with their arguments in place.
int PrintFormatted(CTrace& trace, const char* format, ...) __attribute__((format(printf, 2, 3)));
int LevelPrintFormatted(CTrace& trace, std::uint8_t level, int id, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
