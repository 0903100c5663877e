// CTrace at a crash: what is queued, then the line naming the crash, written from the crashing thread.
#include "ctrace.h"

#include <cstdio>
#include <cstring>

namespace {

// The longest wait for each of: the print thread's hand-over of the queue (it finishes the message it
// writes), the queue's lock, the files' lock. A thread that holds one longer is stuck (in a write that does
// not return) or is the crashing thread's own business; what needs it is then not written.
constexpr unsigned kCrashWaitMilliseconds = 1000;

template <typename TryTake> bool takenWithin(TryTake tryTake, unsigned milliseconds) {
    for (unsigned waited = 0; !tryTake(); ++waited) {
        if (waited >= milliseconds)
            return false;
        platform::sleepMilliseconds(1);
    }
    return true;
}

} // namespace

// The locks are taken in their usual order, files then queue, each within its bound, and never let go:
// the process is ending, and nothing may be written behind the crash line.
void CTrace::WriteAtCrash(const char* description) {
    const bool onPrintThread = m_hThread.isCallingThread();
    const bool queueHandedOver = m_MsgList.TakeOverConsumer(kCrashWaitMilliseconds, onPrintThread);
    const bool files = takenWithin([this] { return m_filesLock.tryLock(); }, kCrashWaitMilliseconds);
    const bool queue = files && queueHandedOver &&
                       takenWithin([this] { return m_MsgList.TryLock(); }, kCrashWaitMilliseconds);
    CMsgList::ReadPosition drained{};
    if (queue)
        drained = DrainToFilesAtCrash(onPrintThread);
    if (files)
        WriteCrashLineToFiles(description);
    if (!m_bConsole || m_bConsoleSkipped.load(std::memory_order_relaxed))
        return;
    if (queue)
        DrainToConsoleAtCrash(drained);
    WriteCrashLineToConsole(description);
}

// A buffer's worth of lines at a time: a file's buffer holds whole lines only and reaches the file in one
// write, so that the bound, which may end the process at any moment, takes whole lines; and a write per
// line would take many times as long to get through a long queue.
CMsgList::ReadPosition CTrace::DrainToFilesAtCrash(bool onPrintThread) {
    const PrintThreadKey standingInForThePrintThread;
    m_bBatchedFlush.Set(standingInForThePrintThread, true);
    // What the print thread had written but not flushed is whole lines (a crashed one may have stopped
    // inside a flush: the files learn first what reached them).
    TakeOverFilesFromStoppedWriter();
    FlushFiles();
    const CMsgList::ReadPosition start = m_MsgList.Position();
    m_MsgList.KeepReadPages();
    m_crashSinks.store(CrashSinks::Files, std::memory_order_relaxed);
    // A print thread that handed over is through with its message; one that crashed may not be (its
    // console write, when it had not come to it, is lost: the console pass starts behind it).
    if (onPrintThread)
        FinishLeftMessage(standingInForThePrintThread, false);
    while (m_MsgList.GetMsg()) {
        if (m_MsgList.GetType() != TRACE_MSG_STOP)
            HandleMessageOrDrop(standingInForThePrintThread);
    }
    FlushFiles();
    return start;
}

void CTrace::DrainToConsoleAtCrash(CMsgList::ReadPosition from) {
    const PrintThreadKey standingInForThePrintThread;
    m_crashSinks.store(CrashSinks::Console, std::memory_order_relaxed);
    m_MsgList.ReadFrom(from);
    while (m_MsgList.GetMsg()) {
        if (m_MsgList.GetType() != TRACE_MSG_STOP)
            HandleMessageOrDrop(standingInForThePrintThread);
    }
}

void CTrace::WriteCrashLineToFiles(const char* description) {
    if (m_bFile && m_OutFile.IsOpen()) {
        m_OutFile.PrintText(*m_clock, description);
        m_OutFile.Flush();
    }
    for (auto& [id, file] : m_mapLogs) {
        file->PrintText(*m_clock, description);
        file->Flush();
    }
}

void CTrace::WriteCrashLineToConsole(const char* description) {
    m_crashSinks.store(CrashSinks::Console, std::memory_order_relaxed);
    char line[kTracePrefixLength + 256];
    const int prefix = WritePrefix(line);
    std::snprintf(line + prefix, sizeof line - static_cast<std::size_t>(prefix), "%s\n", description);
    WriteConsole(line);
    m_consoleOutput->Flush();
}
