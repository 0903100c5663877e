// CTrace: the print thread, its start and stop, and what happens to it when the library unloads.
#include "ctrace.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

constexpr unsigned kGiveBackSparesAfterMilliseconds = 1000;

unsigned prefixWithin(const char* text, unsigned prefixLength) {
    return static_cast<unsigned>(std::min<std::size_t>(prefixLength, std::strlen(text)));
}

} // namespace

unsigned CTrace::ThreadEntry(void* trace) {
    // On Windows the thread holds a reference to the library, so that a FreeLibrary while it runs does not
    // unload the code under it (the loader lock forbids waiting for it there); it lets go as it ends.
    void* module = platform::acquireOwnModule();
    static_cast<CTrace*>(trace)->PrintThread();
    platform::exitThreadReleasingModule(module, 0);
    return 0;
}

bool CTrace::Start() {
    if (m_bRunning)
        return true;
    m_threadStarted.reset();
    if (!m_hThread.start(ThreadEntry, this)) {
        m_bRunning = false;
        return false;
    }
    // Returns once the thread has announced itself (its first message is out, m_bRunning is true).
    m_threadStarted.wait(platform::Event::kInfinite);
    return true;
}

// The queue hands its messages over in batches (all that was pending when the thread asked). The files
// are flushed once a batch, when its last message is handled: every line of a batch is with the system
// before the thread asks again (and perhaps waits), and a batch of many lines costs a few writes, not one
// per line. The queue keeps the pages it has read as spares; after a second without messages, and when
// the thread stops, it gives back those beyond what it keeps for the next burst.
int CTrace::PrintThread() {
    PrintText("PrintThread Begin....\n");
    // Where the process's exit may stop this thread inside a write, it writes line by line: the drain at
    // exit then finds at most the line being written in a stream's buffer, and writes it at most twice. A
    // whole batch left there would come out again behind later lines.
    m_bBatchedFlush = !platform::exitStopsThreadsAnywhere();
    m_bRunning = true;
    m_threadStarted.set();
    for (;;) {
        const unsigned wait =
            m_MsgList.HasSurplusSpares() ? kGiveBackSparesAfterMilliseconds : platform::Event::kInfinite;
        if (!m_MsgList.WaitMsg(wait)) {
            m_MsgList.GiveBackSpares();
            continue;
        }
        const bool stop = m_MsgList.GetType() == TRACE_MSG_STOP;
        if (!stop)
            HandleMessageOrDrop();
        if (stop || m_MsgList.BatchDone())
            FlushFiles();
        if (stop) {
            m_MsgList.GiveBackSpares();
            m_bBatchedFlush = false;
            m_bRunning = false;
            return 0;
        }
    }
}

void CTrace::FlushFiles() {
    {
        platform::ScopedLock<platform::RecursiveLock> hold(m_outFileLock);
        m_OutFile.Flush();
    }
    for (auto& [id, file] : m_mapLogs)
        file->Flush();
}

void CTrace::HandleMessageOrDrop() {
    try {
        HandleMessage();
    } catch (...) {
        // Only allocations throw here (names, the map of trace files): this message is lost, the thread
        // goes on.
        DropClosedLevelLogs();
    }
}

void CTrace::HandleMessage() {
    char* data = static_cast<char*>(m_MsgList.GetData());
    switch (m_MsgList.GetType()) {
    case TRACE_MSG_PRINT:
        HandlePlainMessage(data);
        return;
    case TRACE_MSG_LEVEL:
        HandleLevelMessage(data, m_MsgList.GetLength());
        return;
    default:
        m_consoleOutput->Write("Error msg....\n");
        return;
    }
}

// The message says how long its time prefix is: a time-stamp switch since it was formatted changes nothing
// here. The console gets the text as formatted, the files get it without the prefix (their lines carry
// the time of writing).
void CTrace::HandlePlainMessage(char* text) {
    if (!text)
        return;
    const unsigned prefix = prefixWithin(text, m_MsgList.GetPrefixLength());
    if (m_bConsole)
        m_consoleOutput->Write(text);
    if (m_bFile)
        WritePlainToFile(text + prefix);
}

void CTrace::HandleLevelMessage(char* record, unsigned length) {
    const std::optional<LevelRecord> message = DecodeLevelRecord(record, length);
    if (!message)
        return;
    const unsigned prefix = prefixWithin(message->text, m_MsgList.GetPrefixLength());
    if (m_bLevelConsole && m_bConsole)
        m_consoleOutput->Write(message->text);
    if (m_bLevelFile)
        WriteLevelLog(message->level, message->id, message->text + prefix);
}

void CTrace::WritePlainToFile(char* text) {
    RemoveOneTrailingNewline(text);
    if (m_bDraining) {
        WritePlainToFileLocked(text);
        return;
    }
    platform::ScopedLock<platform::RecursiveLock> hold(m_outFileLock);
    WritePlainToFileLocked(text);
}

void CTrace::WritePlainToFileLocked(const char* text) {
    // File output is switched on only after the file opened: a closed file here is never replaced by a
    // default one in the current folder.
    if (!m_OutFile.IsOpen())
        return;
    m_OutFile.PrintText(*m_clock, text);
    if (!m_bBatchedFlush)
        m_OutFile.Flush();
}

bool CTrace::Stop() {
    if (m_bRunning) {
        m_bRunning = false;
        m_MsgList.PutType(TRACE_MSG_STOP);
        PrintText("Stopping Print Thread....\n");
        PrintText("Waiting....\n");
        m_hThread.join();
        PrintText("Print Thread is end....\n");
    }
    CloseLevelLogs();
    return true;
}

void CTrace::CloseLevelLogs() {
    m_mapLogs.clear();
} // each CLogMsg closes its file, with no closing line

// Unload. Unloading was meant to leave the print thread alone, but it must not outlive the
// code and data it uses, and what was queued while it ran must not be lost:
// - Linux (exit or dlclose): static destructors run while the thread still lives. Queue the stop message
//   behind everything else and wait: the thread writes all that was queued, then ends.
// - Windows FreeLibrary: cannot reach here while the thread runs, which holds a reference to the library.
// - Windows process exit: the thread was killed and may have died holding the queue's lock or a stream's.
//   Write the message it held and what is still queued, only if the queue's lock is free (never wait for
//   it), and leave the streams to the system rather than closing them after the run-time library's own
//   exit. Best effort: a line may come out twice, none is lost.
// Leveled messages parked while the thread was stopped are freed with the queue, unwritten.
CTrace::~CTrace() {
    if (m_bRunning) {
        if (!m_processTerminating && !m_hThread.hasEnded()) {
            m_bRunning = false;
            m_MsgList.PutType(TRACE_MSG_STOP);
            m_hThread.join();
        } else {
            DrainAtProcessExit();
        }
    }
    m_hThread.release();
    if (m_processTerminating) {
        for (auto& [id, file] : m_mapLogs)
            file->Abandon();
        m_OutFile.Abandon();
    }
    CloseLevelLogs();
}

void CTrace::DrainAtProcessExit() {
    m_bRunning = false;
    if (!m_MsgList.TryLock())
        return;
    // The thread may have died holding the output file's lock too: from here on this thread is the only
    // one that writes, and takes no lock for it. Lines go out one by one; what the thread had written
    // but not flushed goes out with the first of them.
    m_bDraining = true;
    m_bBatchedFlush = false;
    // The killed thread may have taken a message and died before writing it: write it (again) first. At
    // least once, as the line being written may come out twice.
    if (m_MsgList.GetData() && m_MsgList.GetType() != TRACE_MSG_STOP)
        HandleMessageOrDrop();
    while (m_MsgList.GetMsg()) {
        if (m_MsgList.GetType() != TRACE_MSG_STOP)
            HandleMessageOrDrop();
    }
    m_OutFile.Flush();
    for (auto& [id, file] : m_mapLogs)
        file->Flush();
    m_MsgList.Unlock();
}
