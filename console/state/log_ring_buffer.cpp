#include "state/log_ring_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

LogRingBuffer::~LogRingBuffer() {
    Release();
}

void LogRingBuffer::Allocate(std::int32_t size) {
    if (size < 0)
        size = kDefaultSize;
    // One byte at least, so that a size of 0 still has a block: the other sinks then go on working.
    void* block = std::calloc(size > 0 ? static_cast<std::size_t>(size) : 1u, 1);
    if (!block) {
        size = kDefaultSize;
        block = std::calloc(static_cast<std::size_t>(size), 1);
    }
    Release();
    m_start = static_cast<char*>(block);
    m_size = m_start ? size : m_size;
}

void LogRingBuffer::Release() {
    std::free(m_start);
    m_start = nullptr;
    m_writePosition = nullptr;
    m_count = 0;
}

bool LogRingBuffer::PrepareForWrite() {
    if (m_writePosition)
        return true;
    if (!m_start)
        return false;
    m_writePosition = m_start;
    m_count = 0;
    return true;
}

void LogRingBuffer::Store(const char* text, std::size_t length) {
    if (m_size <= 0)
        return;
    const std::size_t size = static_cast<std::size_t>(m_size);
    // Only the last size bytes of a longer text can stay.
    if (length > size) {
        text += length - size;
        length = size;
    }
    char* const end = m_start + m_size;
    while (length > 0) {
        std::size_t room = static_cast<std::size_t>(end - m_writePosition);
        std::size_t chunk = std::min(length, room);
        std::memcpy(m_writePosition, text, chunk);
        m_writePosition += chunk;
        if (m_writePosition >= end)
            m_writePosition = m_start;
        text += chunk;
        length -= chunk;
        m_count =
            static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(m_count) + chunk, size));
    }
}

std::string LogRingBuffer::Read(bool html, bool crlf) const {
    std::string result;
    if (!m_writePosition || m_count == 0)
        return result;
    const char* const end = m_start + m_size;
    const char* read = m_writePosition - m_count;
    if (read < m_start)
        read += m_size;
    for (std::int32_t i = 0; i < m_count; ++i) {
        char byte = *read;
        if (byte == '\n') {
            if (crlf)
                result += '\r';
            else if (html)
                result += "<p>";
        }
        result += byte;
        if (++read == end)
            read = m_start;
    }
    return result;
}
