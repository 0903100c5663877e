// CMsgList: the queue between the threads that trace and the print thread.
//
// Producers (any thread) append under m_Lock; the one consumer (the print thread) takes under m_Lock and
// then owns the current message until its next take. m_Event is signalled exactly while a message is
// pending. There is no upper bound. A message and its data are one heap block.
//
// So that the consumer and the producers hand the lock back and forth less often, a take that finds the
// consumer's batch empty moves every pending message into it at once; the next takes come from the batch
// without the lock. The order is the order of appending either way.
#pragma once

#include "sync_objects.h"

#include <cstddef>
#include <cstdint>

struct MsgNode {
    std::int32_t type;
    std::uint32_t length;
    void* data; // points into this node's own block, after the node; null when length is 0
    MsgNode* next;
    // How many characters at the start of the text are the time prefix the caller put there.
    std::uint32_t prefixLength;
};

class CMsgList {
public:
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
    // Waits up to timeout for a message (0xFFFFFFFF: no limit; 0: no wait), then takes it.
    bool WaitMsg(unsigned timeoutMilliseconds);
    // Frees every pending message and the current one; the current type becomes -1.
    void Clear();

    // The current message: for the consumer only, between two takes.
    int GetType() const { return m_nType; }
    void* GetData() const { return m_pData; }
    unsigned GetLength() const { return m_nLength; }
    unsigned GetPrefixLength() const { return m_nPrefixLength; }
    // Kept for the record's layout; the queue has no upper bound and no spare nodes.
    unsigned Capacity() const { return m_nCapacity; }
    unsigned SpareNodes() const { return m_nSpare; }

    // For the library's unload at process exit, when the consumer may have died holding the lock: takes
    // the lock only if it is free.
    bool TryLock() { return m_Lock.TryLock(); }
    void Unlock() { m_Lock.Unlock(); }

private:
    void Append(MsgNode* node);
    bool TakeLocked();

    std::uint32_t m_nLength;
    void* m_pData;
    std::int32_t m_nType;
    MsgNode* m_pHead;
    MsgNode* m_pTail;
    MsgNode* m_pFree; // spare nodes: none in this library
    CCriticalSection m_Lock;
    CEvent m_Event;
    std::uint32_t m_nCapacity;
    std::uint32_t m_nSpare;
    std::uint32_t m_nPrefixLength;
    MsgNode* m_pCurrent; // the block of the current message
    MsgNode* m_pBatch;   // taken from the list, not yet handed out: the consumer's alone
};
