#include "msg_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// One block for the node and its data.
MsgNode* newNode(int type, unsigned length, const void* data, unsigned prefixLength) {
    const bool hasData = data != nullptr && length > 0;
    void* block = std::malloc(sizeof(MsgNode) + (hasData ? length : 0u));
    if (!block)
        return nullptr;
    auto* node = new (block) MsgNode{type, hasData ? length : 0u, nullptr, nullptr, prefixLength};
    if (hasData) {
        node->data = static_cast<char*>(block) + sizeof(MsgNode);
        std::memcpy(node->data, data, length);
    }
    return node;
}

void freeNodes(MsgNode* node) {
    while (node) {
        MsgNode* next = node->next;
        std::free(node);
        node = next;
    }
}

} // namespace

CMsgList::CMsgList()
    : m_nLength(0), m_pData(nullptr), m_nType(0), m_pHead(nullptr), m_pTail(nullptr), m_pFree(nullptr),
      m_Event(false, true), m_nCapacity(1000), m_nSpare(0), m_nPrefixLength(0), m_pCurrent(nullptr),
      m_pBatch(nullptr) {}

CMsgList::~CMsgList() {
    Clear();
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    freeNodes(m_pFree);
    m_pFree = nullptr;
}

bool CMsgList::PutMsg(int type, unsigned length, const void* data, unsigned prefixLength) {
    MsgNode* node = newNode(type, length, data, prefixLength);
    if (!node)
        return false;
    Append(node);
    return true;
}

bool CMsgList::PutType(int type) {
    return PutMsg(type, 0, nullptr);
}

void CMsgList::Append(MsgNode* node) {
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    node->next = nullptr;
    if (!m_pHead) {
        m_pHead = m_pTail = node;
        m_Event.Set(); // empty to non-empty
    } else {
        m_pTail->next = node;
        m_pTail = node;
    }
}

bool CMsgList::TakeLocked() {
    if (!m_pBatch) {
        if (!m_pHead) {
            m_Event.Reset();
            return false;
        }
        m_pBatch = m_pHead;
        m_pHead = m_pTail = nullptr;
        m_Event.Reset(); // to empty
    }
    MsgNode* node = m_pBatch;
    m_pBatch = node->next;
    std::free(m_pCurrent);
    m_pCurrent = node;
    m_nType = node->type;
    m_nLength = node->length;
    m_pData = node->data;
    m_nPrefixLength = node->prefixLength;
    return true;
}

bool CMsgList::GetMsg() {
    return WaitMsg(0);
}

bool CMsgList::WaitMsg(unsigned timeoutMilliseconds) {
    if (m_pBatch)
        return TakeLocked(); // the batch is the consumer's: no lock, no wait
    if (timeoutMilliseconds != 0 && !m_Event.Wait(timeoutMilliseconds))
        return false;
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    return TakeLocked();
}

void CMsgList::Clear() {
    platform::ScopedLock<CCriticalSection> hold(m_Lock);
    freeNodes(m_pBatch);
    m_pBatch = nullptr;
    freeNodes(m_pHead);
    m_pHead = m_pTail = nullptr;
    std::free(m_pCurrent);
    m_pCurrent = nullptr;
    m_pData = nullptr;
    m_nType = -1;
    m_nLength = 0;
    m_nPrefixLength = 0;
    m_Event.Reset();
}
