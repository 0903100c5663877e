// LogRingBuffer: the in-memory ring (ConsoleState::DebugLogBuffer) of the most recent output.
//
// A block of size bytes holds the last bytes written, oldest first from the write position back by count.
// It never holds a NUL byte. Not synchronised: its owner guards it (ConsoleState::DebugLogBuffer, under
// PipelineLock).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

class LogRingBuffer {
public:
    static constexpr std::int32_t kDefaultSize = 102400;

    LogRingBuffer() = default;
    ~LogRingBuffer();
    LogRingBuffer(const LogRingBuffer&) = delete;
    LogRingBuffer& operator=(const LogRingBuffer&) = delete;

    // Replaces the block by a new zero-filled one of size bytes and restarts the ring. A size that is
    // negative or cannot be allocated falls back to kDefaultSize, so a bad setting never leaves the module
    // without a buffer; a size of 0 gives a buffer that holds nothing.
    void Allocate(std::int32_t size);
    // Releases the block: no block, no write position, count 0.
    void Release();
    // Starts the ring at the block when it has not started. False when there is no block.
    bool PrepareForWrite();
    // Appends the length bytes of a text (no NUL among them), overwriting the oldest once full. Call
    // PrepareForWrite first.
    void Store(const char* text, std::size_t length);
    void Store(const char* text) { Store(text, std::strlen(text)); }
    // The valid bytes, oldest first; a carriage return before each line feed when crlf, else "<p>" before
    // each line feed when html.
    std::string Read(bool html, bool crlf) const;

    bool HasBlock() const { return m_start != nullptr; }
    // The field the "InternalBufferSize" setting is read into.
    std::int32_t& SizeSetting() { return m_size; }
    std::int32_t Size() const { return m_size; }
    std::int32_t Count() const { return m_count; }

private:
    char* m_start = nullptr;
    std::int32_t m_size = kDefaultSize;
    char* m_writePosition = nullptr;
    std::int32_t m_count = 0;
};
