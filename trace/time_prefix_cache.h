// TraceTimeCache: the time prefix of a second, made once and shared by the threads that trace.
#pragma once

#include "platform.h"
#include "trace_seams.h"
#include "trace_time.h"

#include <atomic>
#include <cstdint>

// The time prefix of the second a clock shows, made once per second instead of once per line: a message
// writes the text of its second, which the first message of that second made.
//
// Threads: any number at once, none of them ever waits for another. The text of the last second made is
// kept behind a sequence count (a seqlock): a reader copies it and checks that no writer changed it
// meanwhile; a thread whose second is not the one kept makes its own text and offers it for the next
// readers, unless another thread is storing one just then. Times that are not the clock's usual ones (a
// field beyond its digits) are made every time.
class TraceTimeCache {
public:
    TraceTimeCache() = default;
    TraceTimeCache(const TraceTimeCache&) = delete;
    TraceTimeCache& operator=(const TraceTimeCache&) = delete;

    // Writes FormatTraceTime(now, true)'s text, without a terminator, to out (kTracePrefixLength bytes);
    // returns its length.
    int CopyPrefix(const platform::LocalTime& now, char* out);
    // The same for the time the clock shows, asking it for the time only when its second moved on.
    int CopyPrefix(const TraceClock& clock, char* out);

private:
    static constexpr int kWords = 3; // the prefix's 22 characters
    bool TryRead(std::uint64_t key, char* out) const;
    void TryStore(std::uint64_t key, const char* text);

    std::atomic<std::uint32_t> m_sequence{0}; // odd while a writer stores
    std::atomic<std::uint64_t> m_key{0};      // 0: nothing kept
    std::atomic<std::uint64_t> m_text[kWords] = {};
};
