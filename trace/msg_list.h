// CMsgList: the queue between the threads that trace and the print thread.
//
// Producers (any thread) append under m_Lock; the one consumer (the print thread) takes under m_Lock and
// then owns the current message until its next take. There is no upper bound: a host that traces faster
// than the files take it holds every pending message in memory.
//
// Storage: messages lie one behind the other in pages of 64 KB taken from the system (a larger page for
// a message that does not fit one). A message costs its bytes and a header of 9 (type, length, length of
// its time prefix), and no allocation of its own: a producer copies it behind the last one, and takes a
// page only when the last page is full (a spare one, or from the system outside the lock). Pages the
// consumer has read past become spares: taking pages from the system and giving them back costs more
// than the messages in them (their memory is made present page by page, and giving memory back
// interrupts every thread of the process), so a queue that fills and drains again and again takes
// nothing from the system. TrimSpares (CTrace's print thread: about once a second while there are more
// spares than kSparePagesKept, busy or idle) gives back the spares that the queue did not need since the
// last trim, keeping kSparePagesKept of them at least; GiveBackSpares (when the print thread stops) all but
// kSparePagesKept. A queue that has drained, or that holds little since its last burst, then holds at most
// 8 MB and what is in use, however much it held before.
//
// Batches: a take that finds the consumer's batch used up takes, in one locked step, everything pending
// then; the next takes read the batch without the lock. The order is the order of appending either way.
// m_Event is signalled (under the lock) when a message is appended to a queue with nothing pending and
// reset just before the consumer takes everything pending (or finds nothing): it is signalled whenever
// something is pending, and a consumer that waits on it wakes when there is work (now and then to find
// that a take just before got it). A producer that finds messages pending touches no event: no system
// call while the consumer is busy.
#pragma once

#include "sync_objects.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class CMsgList {
public:
    static constexpr std::size_t kPageBytes = 64 * 1024;
    // Kept through idle times, for the next burst: 8 MB.
    static constexpr std::size_t kSparePagesKept = 128;

    CMsgList();
    virtual ~CMsgList();
    CMsgList(const CMsgList&) = delete;
    CMsgList& operator=(const CMsgList&) = delete;

    // Takes the next message without waiting; false when none is pending.
    virtual bool GetMsg();
    // Queues a message with a copy of length bytes of data (none when data is null or length is 0); false
    // when no memory could be had (the message is dropped).
    virtual bool PutMsg(int type, unsigned length, const void* data, unsigned prefixLength = 0);
    bool PutType(int type);
    // Waits up to timeout for a message (0xFFFFFFFF: no limit; 0: no wait), then takes it. The consumer
    // thread's take: once the queue was taken over (TakeOverConsumer), it stops there for good.
    bool WaitMsg(unsigned timeoutMilliseconds);
    // Frees every pending message and the current one; the current type becomes -1.
    void Clear();
    // For the consumer: whether the current message was the last of the batch it was taken with (the
    // next take asks the producers' side again, and may wait).
    bool BatchDone() const;

    // How many messages were taken; counted before the taken one becomes the current one, so that a
    // consumer stopped in between leaves the count ahead (its message is then handled again, not lost).
    std::uint64_t Takes() const { return m_nTakes.load(); }
    // The current message: for the consumer only, between two takes.
    int GetType() const { return m_nType; }
    void* GetData() const { return m_pData; }
    unsigned GetLength() const { return m_nLength; }
    // How many characters at the start of the text are the time prefix the caller put there (at most 255).
    unsigned GetPrefixLength() const { return m_nPrefixLength; }
    // Kept for the record's layout; the queue has no upper bound and no spare nodes.
    unsigned Capacity() const { return m_nCapacity; }
    unsigned SpareNodes() const { return m_nSpare; }
    // The memory the queue holds from the system now: its pages, the spares included.
    std::size_t MemoryHeld();
    // Whether more pages are spare than GiveBackSpares keeps; the consumer's.
    bool HasSurplusSpares();
    // Gives the spare pages beyond kSparePagesKept back to the system; the consumer's.
    void GiveBackSpares();
    // Gives back the spare pages beyond what the queue needed since the last trim: it keeps as many pages
    // (in use and spare) as it had in use at its peak since then, and kSparePagesKept spares at least. The
    // next trim measures from the pages in use now. The consumer's.
    void TrimSpares();

    // For the library's unload at process exit, when the consumer may have died holding the lock: takes
    // the lock only if it is free.
    bool TryLock() { return m_Lock.TryLock(); }
    void Unlock() { m_Lock.Unlock(); }

    // A crash: the crashing thread takes the consumer's place (and then takes with GetMsg). The consumer
    // thread stops for good at its next take, and is left alone from the moment it holds nothing half
    // done: between two messages (it says so with BetweenMessages) or inside WaitMsg before it reads the
    // next one. True once that is so, within about the time; at once when the caller is the consumer
    // itself (its current message is then as it left it) or when there is no consumer.
    bool TakeOverConsumer(unsigned timeoutMilliseconds, bool callerIsConsumer);
    // A crash's drain reads what is queued twice, for the files and then for the console: from
    // KeepReadPages on, the pages read stay as they are (none becomes a spare or is freed), and ReadFrom
    // goes back to a position Position gave. For the consumer, with the lock held so that nothing is
    // appended meanwhile.
    struct ReadPosition {
        const void* page;
        std::size_t offset;
    };
    ReadPosition Position() const { return {m_pHead, m_nReadOffset}; }
    void KeepReadPages() { m_keepReadPages = true; }
    void ReadFrom(ReadPosition position);
    // For the consumer thread: it holds nothing half done until its next take. Also as it ends.
    void BetweenMessages() { m_consumerIdle.store(true); }
    // For the consumer thread as it starts: stops for good when the queue was taken over already.
    void StartConsuming();

    // fork(): the forking thread holds the lock across the fork, so that the child finds the pages whole.
    void HoldForFork() { m_Lock.Lock(); }
    void ReleaseAfterFork() { m_Lock.Unlock(); } // in the parent
    // In the child: the lock and the event anew (the parent's consumer may have been waiting on it), and
    // the pending messages dropped (they are the parent's). The spare pages stay.
    void StartCleanInForkedChild();

private:
    struct Page;

    Page* NewPage(std::size_t recordBytes);
    void FreePage(Page* page);
    void FreePages(Page* first); // a list linked through next
    // With m_Lock held: keeps a page of the usual size as a spare; answers a page that is not kept.
    Page* KeepSpareLocked(Page* page);
    // With m_Lock held: unlinks the spares beyond the first kept ones and answers them (to free outside
    // the lock).
    Page* TakeSparesLocked(std::size_t kept);
    // With m_Lock held: whether anything was appended behind the consumer's last batch.
    bool PendingLocked() const;
    // With m_Lock held: copies the message behind the last one when it fits the last page (or a spare);
    // false when a new page is needed.
    bool AppendLocked(int type, unsigned length, const void* data, unsigned prefixLength, Page*& fresh);
    // The consumer's hold of the lock (a scope's). The wait for it holds nothing half done: a crash may
    // take the queue over meanwhile, and a consumer thread that then gets the lock stops for good.
    class ConsumerLock;
    void LockAsConsumer();
    // Takes everything pending as the consumer's batch; false when nothing is pending.
    bool TakeBatch();
    // The next message of the batch becomes the current one.
    void TakeFromBatch();
    // The consumer has read past the read page (and the current message lies behind it): give it back.
    void ReleaseReadPage();
    // GetMsg and WaitMsg; consumerThread: the consumer thread's take, which stops once taken over.
    bool Take(unsigned timeoutMilliseconds, bool consumerThread);
    // The consumer thread before it reads the next message: stops for good when taken over.
    void StopWhenTakenOver();

    std::uint32_t m_nLength;
    void* m_pData;
    std::int32_t m_nType;
    Page* m_pHead; // the oldest page held: the consumer reads it
    Page* m_pTail; // the page producers write into
    Page* m_pFree; // the spare pages
    CCriticalSection m_Lock;
    CEvent m_Event;
    std::uint32_t m_nCapacity;
    std::uint32_t m_nSpare;
    std::uint32_t m_nPrefixLength;
    // The end of the consumer's last batch: the tail page and its fill when it was taken (under m_Lock).
    Page* m_pBatchPage;
    std::size_t m_nBatchEnd;
    // Where the consumer reads next in m_pHead (the consumer's alone).
    std::size_t m_nReadOffset;
    std::size_t m_nSparePages; // in m_pFree
    // Pages from m_pHead to m_pTail, and the most there were at once since the last trim (under m_Lock).
    std::size_t m_nPagesInUse;
    std::size_t m_nPeakPagesInUse;
    // The hand-over at a crash. Sequentially consistent: a taker that sees the consumer idle after saying
    // it takes over is seen by the consumer before it reads on.
    std::atomic<bool> m_takenOver{false};
    std::atomic<std::uint64_t> m_nTakes{0};
    bool m_keepReadPages = false;           // the consumer's
    std::atomic<bool> m_consumerIdle{true}; // true while no consumer thread runs
};
