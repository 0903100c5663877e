// CTrace: the print thread, its start and stop, what happens to it when the library unloads or the process
// exits, and around fork().
#include "ctrace.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the print thread gives back the queue's spare pages that were not needed meanwhile.
constexpr std::chrono::milliseconds kTrimSparesEvery{1000};

// At the process's exit the print thread may take as long as it needs to write what is queued, but once
// it has handled no message for this long (stuck in a write: standard output a pipe nobody reads, a file
// system that hangs) the exit goes on without it.
constexpr std::chrono::milliseconds kExitStallLimit{5000};
constexpr unsigned kExitPollMilliseconds = 5;
// At a Windows process exit the system has stopped the print thread before the library's exit code runs;
// under Wine the stop may still be under way then.
constexpr unsigned kKilledThreadGraceMilliseconds = 1000;

unsigned prefixWithin(const char* text, unsigned prefixLength) {
    return static_cast<unsigned>(std::min<std::size_t>(prefixLength, std::strlen(text)));
}

// Whether a count still moves: false once it stood still for kExitStallLimit.
class StallWatch {
public:
    explicit StallWatch(const std::atomic<std::uint64_t>& count)
        : m_count(count), m_seen(count.load()), m_since(SteadyClock::now()) {}

    bool Moving() {
        const auto now = SteadyClock::now();
        const std::uint64_t count = m_count.load();
        if (count != m_seen) {
            m_seen = count;
            m_since = now;
        }
        return now - m_since < kExitStallLimit;
    }

private:
    const std::atomic<std::uint64_t>& m_count;
    std::uint64_t m_seen;
    SteadyClock::time_point m_since;
};

// The wait until the time, in whole milliseconds rounded up (0 once it has come).
unsigned millisecondsUntil(SteadyClock::time_point time) {
    const auto left = time - SteadyClock::now();
    if (left <= SteadyClock::duration::zero())
        return 0;
    return static_cast<unsigned>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void trimSparesWhenDue(CMsgList& queue, SteadyClock::time_point& due) {
    const auto now = SteadyClock::now();
    if (now < due)
        return;
    queue.TrimSpares();
    due = now + kTrimSparesEvery;
}

} // namespace

unsigned CTrace::ThreadEntry(void* trace) {
    // On Windows the thread holds a reference to the library, so that a FreeLibrary while it runs does not
    // unload the code under it (the loader lock forbids waiting for it there); it lets go as it ends.
    void* module = platform::acquireOwnModule();
    // A stack overflow of the print thread still reaches the crash handling.
    void* faultStack = platform::giveThreadFaultStack();
    static_cast<CTrace*>(trace)->PrintThread();
    platform::releaseThreadFaultStack(faultStack);
    platform::exitThreadReleasingModule(module, 0);
    return 0;
}

bool CTrace::Start() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_startStopLock);
    if (m_bRunning)
        return true;
    if (m_bEnded)
        return false;                // the library unloads or the process exits: no new thread
    platform::watchForProcessExit(); // the exit then waits for the thread within its bound
    m_threadStarted.reset();
    m_threadEnded.reset();
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
// per line. The queue keeps the pages it has read as spares; about once a second, whether messages keep
// coming or not, the thread gives back those the queue did not need meanwhile, and when it stops, those
// beyond what it keeps for the next burst.
int CTrace::PrintThread() {
    const PrintThreadKey printThread;
    PrintText("PrintThread Begin....\n");
    // Where the process's exit may stop this thread anywhere (Windows), it flushes line by line: a
    // process ended from outside, with no drain at its exit, then loses at most the line being written,
    // not a batch.
    m_bBatchedFlush.Set(printThread, !platform::exitStopsThreadsAnywhere());
    m_bRunning = true;
    m_MsgList.StartConsuming();
    m_threadStarted.set();
    SteadyClock::time_point trimDue = SteadyClock::now() + kTrimSparesEvery;
    for (;;) {
        // Only a take after the batch's last message may wait (and only then is the queue's lock taken).
        const unsigned wait = m_MsgList.BatchDone() && m_MsgList.HasSurplusSpares()
                                  ? millisecondsUntil(trimDue)
                                  : platform::Event::kInfinite;
        // A crash on another thread may take the queue over from here: nothing of it is read until the
        // take has made sure it was not.
        m_MsgList.BetweenMessages();
        if (!m_MsgList.WaitMsg(wait)) {
            trimSparesWhenDue(m_MsgList, trimDue);
            continue;
        }
        const bool stop = m_MsgList.GetType() == TRACE_MSG_STOP;
        if (!stop)
            HandleMessageOrDrop(printThread);
        else
            MarkMessageHandled();
        if (stop || m_MsgList.BatchDone()) {
            FlushFiles();
            trimSparesWhenDue(m_MsgList, trimDue);
        }
        m_messagesHandled.fetch_add(1, std::memory_order_relaxed);
        if (stop) {
            m_MsgList.GiveBackSpares();
            m_bBatchedFlush.Set(printThread, false);
            m_bRunning = false;
            m_MsgList.BetweenMessages();
            m_threadEnded.set();
            return 0;
        }
    }
}

void CTrace::FlushFiles() {
    FilesHold hold(*this);
    m_OutFile.Flush();
    for (auto& [id, file] : m_mapLogs)
        file->Flush();
}

void CTrace::HandleMessageOrDrop(PrintThreadKey printThread) {
    try {
        HandleMessage(printThread);
        MarkMessageHandled();
    } catch (...) {
        MarkMessageHandled();
        // Only allocations throw here (names, the map of trace files): this message is lost, the thread
        // goes on.
        m_traceFiles.DropClosedFiles(printThread);
    }
}

void CTrace::HandleMessage(PrintThreadKey printThread) {
    char* data = static_cast<char*>(m_MsgList.GetData());
    switch (m_MsgList.GetType()) {
    case TRACE_MSG_PRINT:
        HandlePlainMessage(printThread, data);
        return;
    case TRACE_MSG_LEVEL:
        HandleLevelMessage(printThread, data, m_MsgList.GetLength());
        return;
    default:
        WriteConsole("Error msg....\n");
        return;
    }
}

// The message says how long its time prefix is: a time-stamp switch since it was formatted changes nothing
// here. The console gets the text as formatted, the files get it without the prefix (their lines carry
// the time of writing).
void CTrace::HandlePlainMessage(PrintThreadKey printThread, char* text) {
    if (!text)
        return;
    const unsigned prefix = prefixWithin(text, m_MsgList.GetPrefixLength());
    m_messageStage.store(MessageStage::Console, std::memory_order_relaxed);
    if (m_bConsole)
        WriteConsole(text);
    EnterFileStage();
    if (m_bFile && FilesWanted())
        WritePlainToFile(printThread, text + prefix);
}

void CTrace::HandleLevelMessage(PrintThreadKey printThread, char* record, unsigned length) {
    const std::optional<LevelRecord> message = DecodeLevelRecord(record, length);
    if (!message)
        return;
    const unsigned prefix = prefixWithin(message->text, m_MsgList.GetPrefixLength());
    m_messageStage.store(MessageStage::Console, std::memory_order_relaxed);
    if (m_bLevelConsole && m_bConsole)
        WriteConsole(message->text);
    EnterFileStage();
    if (m_bLevelFile && FilesWanted())
        m_traceFiles.WriteLevelLog(printThread, message->level, message->id, message->text + prefix);
}

void CTrace::WritePlainToFile(PrintThreadKey printThread, char* text) {
    RemoveOneTrailingNewline(text);
    FilesHold hold(*this);
    // File output is switched on only after the file opened: a closed file here is never replaced by a
    // default one in the current folder.
    if (!m_OutFile.IsOpen())
        return;
    NoteLineUnderWay(m_OutFile);
    m_OutFile.PrintText(*m_clock, text);
    m_messageStage.store(MessageStage::Written, std::memory_order_relaxed);
    if (!m_bBatchedFlush.Get(printThread))
        m_OutFile.Flush();
}

bool CTrace::Stop() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_startStopLock);
    if (m_bEnded)
        return true; // a print thread the exit gave up on may still write the files
    if (TellThreadToStop()) {
        PrintText("Stopping Print Thread....\n");
        PrintText("Waiting....\n");
        m_hThread.join();
        PrintText("Print Thread is end....\n");
    }
    CloseLevelLogs();
    return true;
}

// From here on plain trace from any thread goes straight to standard output. Everything queued before the
// stop message is written before the thread ends.
bool CTrace::TellThreadToStop() {
    if (!m_bRunning.exchange(false))
        return false;
    m_MsgList.PutType(TRACE_MSG_STOP);
    return true;
}

void CTrace::CloseLevelLogs() {
    FilesHold hold(*this);
    m_mapLogs.clear();
} // each CLogMsg closes its file, with no closing line

// Destroyed while its print thread runs (the library unloads, or the owner of the object ends it): the thread
// writes all that was queued, then ends. Leveled messages parked while the thread was stopped are freed with
// the queue, unwritten.
CTrace::~CTrace() {
    {
        platform::ScopedLock<platform::RecursiveLock> hold(m_startStopLock);
        if (TellThreadToStop())
            m_hThread.join();
    }
    m_hThread.release();
    CloseLevelLogs();
}

// Unload and exit. Unloading was meant to leave the print thread alone, but it must not outlive the code
// and data it uses, and what was queued while it ran must not be lost:
// - Linux dlclose (and Windows FreeLibrary once the thread, which holds a reference to the library, has
//   ended): the destructor waits for the thread, for as long as it takes: the code goes away afterwards.
// - The process's exit while other threads still run (Linux, or an executable's own exit code): the thread
//   writes everything queued, waited for as long as it gets on with it (EndAtExit).
// - Windows process exit: the thread was killed (EndAtProcessTermination).
bool CTrace::EndForUnload() {
    if (m_processTerminating.Get(UnloadKey())) {
        EndAtProcessTermination();
        return false;
    }
    if (platform::exitingWhileOtherThreadsRun()) {
        EndAtExit();
        return false;
    }
    return true;
}

void CTrace::EndAtExit() {
    StallWatch progress(m_messagesHandled);
    // Another thread may be starting or stopping the print thread: wait for it as long as the print thread
    // gets on.
    while (!m_startStopLock.tryLock()) {
        if (!progress.Moving())
            return;
        platform::sleepMilliseconds(kExitPollMilliseconds);
    }
    m_bEnded = true;
    if (TellThreadToStop()) {
        bool ended = false;
        while (!(ended = m_threadEnded.wait(kExitPollMilliseconds)) && progress.Moving()) {
        }
        if (ended)
            m_hThread.join();
    }
    m_startStopLock.unlock();
}

// The thread was killed and may have died holding any lock: never wait for one. A thread killed while it
// started or stopped the print thread leaves their state unknown: then nothing is touched. Otherwise the
// message the print thread held and what is still queued are written to the files (not to the console),
// only if the queue's lock is free, and the streams are left to the system rather than closed after the
// run-time library's own exit. Best effort: a line may come out twice, none is lost.
void CTrace::EndAtProcessTermination() {
    if (!m_startStopLock.tryLock())
        return;
    m_bEnded = true;
    if (m_bRunning && ThreadGoneWithin(kKilledThreadGraceMilliseconds))
        DrainAtProcessExit();
    m_startStopLock.unlock();
}

// The drain reads the queue as its only consumer: never while the print thread may still run.
bool CTrace::ThreadGoneWithin(unsigned milliseconds) {
    for (unsigned waited = 0; !m_hThread.hasEnded(); ++waited) {
        if (waited == milliseconds)
            return false;
        platform::sleepMilliseconds(1);
    }
    return true;
}

void CTrace::DrainAtProcessExit() {
    const UnloadKey unload;
    const PrintThreadKey standingInForThePrintThread;
    m_bRunning = false;
    if (!m_MsgList.TryLock())
        return;
    // The thread may have died holding the files' lock too: from here on this thread is the only one that
    // writes, and takes no lock for it. Lines go out one by one; what the thread had written but not
    // flushed goes out with the first of them.
    m_bDraining.Set(unload, true);
    m_bBatchedFlush.Set(standingInForThePrintThread, false);
    // The killed thread may have died inside a file's write, and may have taken a message and died before
    // it was through: the files first learn what reached them, then the message is finished from where
    // it stopped. Each line comes out once.
    TakeOverFilesFromStoppedWriter();
    FinishLeftMessage(standingInForThePrintThread, true);
    while (m_MsgList.GetMsg()) {
        if (m_MsgList.GetType() != TRACE_MSG_STOP)
            HandleMessageOrDrop(standingInForThePrintThread);
    }
    FlushFiles();
    m_MsgList.Unlock();
}

void CTrace::EnterFileStage() {
    m_lineUnderWay = LineUnderWay{};
    std::atomic_signal_fence(std::memory_order_seq_cst); // before the stage says the note is this message's
    m_messageStage.store(MessageStage::Files, std::memory_order_relaxed);
}

void CTrace::NoteLineUnderWay(const CLogMsg& file) {
    m_lineUnderWay = file.NoteOfNextLine();
    std::atomic_signal_fence(std::memory_order_seq_cst); // before the line
}

void CTrace::TakeOverFilesFromStoppedWriter() {
    m_OutFile.TakeOverFromStoppedWriter();
    for (auto& [id, file] : m_mapLogs)
        file->TakeOverFromStoppedWriter();
}

void CTrace::MarkMessageHandled() {
    m_messageStage.store(MessageStage::Idle, std::memory_order_relaxed);
    m_takesHandled.store(m_MsgList.Takes(), std::memory_order_relaxed);
}

void CTrace::FinishLeftMessage(PrintThreadKey standIn, bool retryFileWrite) {
    if (m_MsgList.Takes() == m_takesHandled.load(std::memory_order_relaxed) || !m_MsgList.GetData() ||
        m_MsgList.GetType() == TRACE_MSG_STOP)
        return;
    switch (m_messageStage.load(std::memory_order_relaxed)) {
    case MessageStage::Idle:
        HandleMessageOrDrop(standIn);
        return;
    case MessageStage::Console:
        // The console write did not come back: the files still get the message, the console no more.
        m_bConsoleSkipped.store(true, std::memory_order_relaxed);
        HandleMessageOrDrop(standIn);
        return;
    case MessageStage::Files:
        if (!CLogMsg::LineGotIn(m_lineUnderWay) && retryFileWrite) {
            HandleMessageOrDrop(standIn);
            return;
        }
        break;
    case MessageStage::Written:
        break; // in the file, or in its buffer for the next flush
    }
    MarkMessageHandled();
}

// ---- fork() ----------------------------------------------------------------------------------------------

void CTrace::HoldForFork() {
    m_filesLock.lock(); // the print thread is between two messages
    FlushFiles();
    m_settingsLock.lock();
    m_MsgList.HoldForFork();
}

void CTrace::ReleaseAfterFork() {
    m_MsgList.ReleaseAfterFork();
    m_settingsLock.unlock();
    m_filesLock.unlock();
}

void CTrace::StartCleanInForkedChild() {
    m_MsgList.StartCleanInForkedChild();
    m_settingsLock.resetInForkedChild();
    m_filesLock.resetInForkedChild();
    m_startStopLock.resetInForkedChild();
    m_threadStarted.resetInForkedChild();
    m_messageStage.store(MessageStage::Idle);
    m_threadEnded.resetInForkedChild();
    m_hThread.forgetInForkedChild();
    m_bRunning = false;
}
