#include "msg_list.h"

#include "platform.h"

#include <algorithm>
#include <cstring>
#include <new>

// A page: this header, then records one behind the other. A record: its data's length (4 bytes), its type
// (4), the length of its time prefix (1), then the data; no padding anywhere (headers are copied, not
// read in place).
struct CMsgList::Page {
    Page* next;       // set under m_Lock while this page is the tail; fixed afterwards
    std::size_t size; // of the whole block
    std::size_t used; // where the next record goes; under m_Lock while this page is the tail
};

namespace {

constexpr std::size_t kFirstRecord = (sizeof(void*) + 2 * sizeof(std::size_t) + 7) / 8 * 8;
constexpr std::size_t kRecordHeader = 9;
// Far beyond any message of the library; keeps the sizes of a record and its page within a 32-bit size.
constexpr unsigned kMaxLength = 1u << 30;

struct RecordHeader {
    std::uint32_t length;
    std::int32_t type;
    std::uint8_t prefixLength;
};

void writeRecord(char* at, const RecordHeader& header, const void* data) {
    std::memcpy(at, &header.length, 4);
    std::memcpy(at + 4, &header.type, 4);
    at[8] = static_cast<char>(header.prefixLength);
    if (header.length > 0)
        std::memcpy(at + kRecordHeader, data, header.length);
}

RecordHeader readRecord(const char* at) {
    RecordHeader header;
    std::memcpy(&header.length, at, 4);
    std::memcpy(&header.type, at + 4, 4);
    header.prefixLength = static_cast<std::uint8_t>(at[8]);
    return header;
}

char* bytesOf(void* page) {
    return static_cast<char*>(page);
}

} // namespace

class CMsgList::ConsumerLock {
public:
    explicit ConsumerLock(CMsgList& list) : m_list(list) { m_list.LockAsConsumer(); }
    ~ConsumerLock() { m_list.m_Lock.Unlock(); }
    ConsumerLock(const ConsumerLock&) = delete;
    ConsumerLock& operator=(const ConsumerLock&) = delete;

private:
    CMsgList& m_list;
};

// Inside a message (not idle), the wait marks the consumer idle for its length; where it was idle
// already, it stays so and stops at its next take.
void CMsgList::LockAsConsumer() {
    if (m_Lock.TryLock())
        return;
    const bool wasIdle = m_consumerIdle.load();
    if (!wasIdle)
        m_consumerIdle.store(true);
    m_Lock.Lock();
    if (wasIdle)
        return;
    m_consumerIdle.store(false);
    if (m_takenOver.load()) {
        m_Lock.Unlock();
        StopWhenTakenOver();
    }
}

CMsgList::CMsgList()
    : m_nLength(0), m_pData(nullptr), m_nType(0), m_pHead(nullptr), m_pTail(nullptr), m_pFree(nullptr),
      m_Event(false, true), m_nCapacity(1000), m_nSpare(0), m_nPrefixLength(0), m_pBatchPage(nullptr),
      m_nBatchEnd(0), m_nReadOffset(kFirstRecord), m_nSparePages(0), m_nPagesInUse(0), m_nPeakPagesInUse(0) {
    static_assert(kFirstRecord >= sizeof(Page), "records begin behind the page's header");
}

CMsgList::~CMsgList() {
    Clear();
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    FreePages(m_pFree);
    m_pFree = nullptr;
    m_nSparePages = 0;
}

CMsgList::Page* CMsgList::NewPage(std::size_t recordBytes) {
    const std::size_t size = (kFirstRecord + recordBytes + kPageBytes - 1) / kPageBytes * kPageBytes;
    void* block = size > recordBytes ? platform::allocateSystemMemory(size) : nullptr;
    if (!block)
        return nullptr;
    return new (block) Page{nullptr, size, kFirstRecord};
}

void CMsgList::FreePage(Page* page) {
    if (page)
        platform::freeSystemMemory(page, page->size);
}

void CMsgList::FreePages(Page* first) {
    while (first) {
        Page* next = first->next;
        FreePage(first);
        first = next;
    }
}

CMsgList::Page* CMsgList::KeepSpareLocked(Page* page) {
    if (!page || page->size != kPageBytes)
        return page;
    page->next = m_pFree;
    m_pFree = page;
    ++m_nSparePages;
    return nullptr;
}

bool CMsgList::HasSurplusSpares() {
    ConsumerLock hold(*this);
    return m_nSparePages > kSparePagesKept;
}

void CMsgList::GiveBackSpares() {
    Page* surplus;
    {
        ConsumerLock hold(*this);
        surplus = TakeSparesLocked(kSparePagesKept);
    }
    FreePages(surplus);
}

void CMsgList::TrimSpares() {
    Page* surplus;
    {
        ConsumerLock hold(*this);
        // Pages in use and spares together as many as were in use at the peak: the same burst again takes
        // nothing from the system.
        surplus = TakeSparesLocked(std::max(kSparePagesKept, m_nPeakPagesInUse - m_nPagesInUse));
        m_nPeakPagesInUse = m_nPagesInUse;
    }
    FreePages(surplus);
}

CMsgList::Page* CMsgList::TakeSparesLocked(std::size_t kept) {
    if (m_nSparePages <= kept)
        return nullptr;
    Page* surplus = m_pFree;
    Page** link = &m_pFree;
    for (std::size_t i = 0; i < kept; ++i) {
        link = &surplus->next;
        surplus = surplus->next;
    }
    *link = nullptr;
    m_nSparePages = kept;
    return surplus;
}

bool CMsgList::PendingLocked() const {
    return m_pTail && !(m_pTail == m_pBatchPage && m_pTail->used == m_nBatchEnd);
}

bool CMsgList::PutMsg(int type, unsigned length, const void* data, unsigned prefixLength) {
    if (!data)
        length = 0;
    if (length > kMaxLength)
        return false;
    const std::size_t record = kRecordHeader + length;
    {
        // The usual case: the message fits the last page.
        platform::ScopedLock<CCriticalSection> hold(m_Lock);
        Page* tail = m_pTail;
        if (tail && tail->size - tail->used >= record) {
            if (tail == m_pBatchPage && tail->used == m_nBatchEnd)
                m_Event.Set(); // empty to non-empty
            const RecordHeader header{length, type, static_cast<std::uint8_t>(std::min(prefixLength, 255u))};
            writeRecord(bytesOf(tail) + tail->used, header, data);
            tail->used += record;
            return true;
        }
    }
    // A page is taken from the system outside the lock; when another producer linked one meanwhile, the
    // message may fit that one and this page becomes a spare (or goes back).
    Page* fresh = nullptr;
    for (;;) {
        bool appended;
        {
            platform::ScopedLock<CCriticalSection> hold(m_Lock);
            const bool pendingBefore = PendingLocked();
            appended = AppendLocked(type, length, data, prefixLength, fresh);
            if (appended && !pendingBefore)
                m_Event.Set(); // empty to non-empty
            if (appended)
                fresh = KeepSpareLocked(fresh);
        }
        if (appended)
            break;
        fresh = NewPage(record);
        if (!fresh)
            return false;
    }
    FreePage(fresh);
    return true;
}

bool CMsgList::AppendLocked(int type, unsigned length, const void* data, unsigned prefixLength,
                            Page*& fresh) {
    const std::size_t record = kRecordHeader + length;
    Page* tail = m_pTail;
    if (!tail || tail->size - tail->used < record) {
        Page* page = nullptr;
        if (m_pFree && m_pFree->size - kFirstRecord >= record) {
            page = m_pFree;
            m_pFree = page->next;
            --m_nSparePages;
        } else if (fresh && fresh->size - kFirstRecord >= record) {
            std::swap(page, fresh);
        }
        if (!page)
            return false;
        page->next = nullptr;
        page->used = kFirstRecord;
        if (tail)
            tail->next = page;
        else
            m_pHead = page; // the consumer reads it from its first record
        m_pTail = tail = page;
        m_nPeakPagesInUse = std::max(m_nPeakPagesInUse, ++m_nPagesInUse);
    }
    const RecordHeader header{length, type, static_cast<std::uint8_t>(std::min(prefixLength, 255u))};
    writeRecord(bytesOf(tail) + tail->used, header, data);
    tail->used += record;
    return true;
}

bool CMsgList::PutType(int type) {
    return PutMsg(type, 0, nullptr);
}

bool CMsgList::BatchDone() const {
    return !m_pBatchPage || (m_pHead == m_pBatchPage && m_nReadOffset == m_nBatchEnd);
}

// The event is reset before the lock is taken: a producer that appends in between sets it again, and the
// batch then holds its message (the next wait may wake to find nothing, no more). The consumer so makes no
// system call while it holds the lock: a process's exit that stops it there (Windows) leaves the lock
// held, and the drain at unload then cannot read the queue.
bool CMsgList::TakeBatch() {
    m_Event.Reset();
    ConsumerLock hold(*this);
    if (!PendingLocked())
        return false;
    m_pBatchPage = m_pTail;
    m_nBatchEnd = m_pTail->used;
    return true;
}

// Pages before the batch's last are no producer's any more: their fill and successor are read without
// the lock (they were set under it before the batch was taken).
void CMsgList::TakeFromBatch() {
    if (m_pHead != m_pBatchPage && m_nReadOffset == m_pHead->used)
        ReleaseReadPage();
    const char* at = bytesOf(m_pHead) + m_nReadOffset;
    const RecordHeader header = readRecord(at);
    m_nTakes.fetch_add(1); // a full barrier: the current message changes only behind it
    m_nType = header.type;
    m_nLength = header.length;
    m_nPrefixLength = header.prefixLength;
    m_pData = header.length > 0 ? const_cast<char*>(at + kRecordHeader) : nullptr;
    m_nReadOffset += kRecordHeader + header.length;
}

void CMsgList::ReleaseReadPage() {
    Page* done = m_pHead;
    if (m_keepReadPages) {
        m_pHead = done->next;
        m_nReadOffset = kFirstRecord;
        return;
    }
    {
        ConsumerLock hold(*this);
        m_pHead = done->next;
        --m_nPagesInUse;
        done = KeepSpareLocked(done);
    }
    m_nReadOffset = kFirstRecord;
    FreePage(done); // a large page
}

void CMsgList::ReadFrom(ReadPosition position) {
    m_pHead = static_cast<Page*>(const_cast<void*>(position.page));
    m_nReadOffset = position.offset;
}

bool CMsgList::GetMsg() {
    return Take(0, false);
}

// A consumer that finds its batch used up takes what is pending, and waits only when nothing is. The
// batch taken (under the lock) is as good for a consumer that takes over meanwhile.
bool CMsgList::WaitMsg(unsigned timeoutMilliseconds) {
    return Take(timeoutMilliseconds, true);
}

// The consumer thread comes here idle (between messages): it reads nothing of the queue before it knows
// the queue is still its own, and is idle again while it waits for the lock or for messages.
bool CMsgList::Take(unsigned timeoutMilliseconds, bool consumerThread) {
    if (consumerThread)
        StopWhenTakenOver();
    if (BatchDone()) {
        if (consumerThread)
            BetweenMessages();
        const bool taken =
            TakeBatch() || (timeoutMilliseconds != 0 && m_Event.Wait(timeoutMilliseconds) && TakeBatch());
        if (consumerThread)
            StopWhenTakenOver();
        if (!taken)
            return false;
    }
    TakeFromBatch(); // the batch is the consumer's: no lock
    return true;
}

bool CMsgList::TakeOverConsumer(unsigned timeoutMilliseconds, bool callerIsConsumer) {
    m_takenOver.store(true);
    if (callerIsConsumer)
        return true;
    for (unsigned waited = 0; !m_consumerIdle.load(); ++waited) {
        if (waited >= timeoutMilliseconds)
            return false;
        platform::sleepMilliseconds(1);
    }
    return true;
}

void CMsgList::StartConsuming() {
    StopWhenTakenOver();
}

// The process is ending with the thread that took over: this thread waits for that end.
void CMsgList::StopWhenTakenOver() {
    m_consumerIdle.store(false);
    if (!m_takenOver.load())
        return;
    m_consumerIdle.store(true);
    for (;;)
        platform::sleepMilliseconds(1000);
}

void CMsgList::Clear() {
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    for (Page* page = m_pHead; page;) {
        Page* next = page == m_pTail ? nullptr : page->next;
        FreePage(page);
        page = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nPagesInUse = 0;
    m_pBatchPage = nullptr;
    m_nBatchEnd = 0;
    m_nReadOffset = kFirstRecord;
    m_pData = nullptr;
    m_nType = -1;
    m_nLength = 0;
    m_nPrefixLength = 0;
    m_Event.Reset();
}

void CMsgList::StartCleanInForkedChild() {
    m_Lock.ResetInForkedChild();
    m_Event.ResetInForkedChild();
    m_consumerIdle.store(true); // the parent's consumer thread does not exist here
    Clear();
}

std::size_t CMsgList::MemoryHeld() {
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    std::size_t bytes = 0;
    for (Page* page = m_pFree; page; page = page->next)
        bytes += page->size;
    for (Page* page = m_pHead; page; page = page == m_pTail ? nullptr : page->next)
        bytes += page->size;
    return bytes;
}
