#include "time_prefix_cache.h"

#include <cstring>

int TraceTimeCache::CopyPrefix(const TraceClock& clock, char* out) {
    const std::uint64_t key = clock.SecondKey();
    if (key != 0 && TryRead(key, out))
        return kTracePrefixLength;
    const TraceTimeText made = FormatTraceTime(clock.Now(), true);
    std::memcpy(out, made.text, kTracePrefixLength);
    // Kept only when the second did not move on while the text was made.
    if (key != 0 && clock.SecondKey() == key)
        TryStore(key, made.text);
    return kTracePrefixLength;
}

int TraceTimeCache::CopyPrefix(const platform::LocalTime& now, char* out) {
    const std::uint64_t key = TraceSecondKey(now);
    if (key != 0 && TryRead(key, out))
        return kTracePrefixLength;
    const TraceTimeText made = FormatTraceTime(now, true);
    std::memcpy(out, made.text, kTracePrefixLength);
    if (key != 0)
        TryStore(key, made.text);
    return kTracePrefixLength;
}

// The words are atomics read without order; the fence and the second look at the sequence count tell
// whether a writer was at work meanwhile (then the copy is not used).
bool TraceTimeCache::TryRead(std::uint64_t key, char* out) const {
    const std::uint32_t before = m_sequence.load(std::memory_order_acquire);
    if ((before & 1) != 0 || m_key.load(std::memory_order_relaxed) != key)
        return false;
    std::uint64_t words[kWords];
    for (int i = 0; i < kWords; ++i)
        words[i] = m_text[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (m_sequence.load(std::memory_order_relaxed) != before)
        return false;
    std::memcpy(out, words, kTracePrefixLength);
    return true;
}

// One writer at a time: the one that makes the count odd. Another that finds it odd leaves the store to
// it and loses nothing but the chance to share its text.
void TraceTimeCache::TryStore(std::uint64_t key, const char* text) {
    std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    if ((sequence & 1) != 0 ||
        !m_sequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acquire))
        return;
    std::atomic_thread_fence(std::memory_order_release);
    std::uint64_t words[kWords] = {};
    std::memcpy(words, text, kTracePrefixLength);
    m_key.store(key, std::memory_order_relaxed);
    for (int i = 0; i < kWords; ++i)
        m_text[i].store(words[i], std::memory_order_relaxed);
    m_sequence.store(sequence + 2, std::memory_order_release);
}
