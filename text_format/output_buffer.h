// Output: the buffer a formatting writes into, as vsnprintf fills its buffer.
//
// The text goes in up to the buffer's last byte but one (kept for the terminator); what does not fit is
// counted, so that total() is the length of the whole text. A capacity of 0 takes no byte at all (the
// buffer may then be null). Not synchronised: one formatting owns it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace text_format {

// Copies a few bytes without calling memcpy, many with it: most pieces of a line are short.
inline void copyBytes(char* to, const char* from, std::size_t count) {
    if (count > 16) {
        std::memcpy(to, from, count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        to[i] = from[i];
}

// The text goes into the buffer up to its last byte but one; the length of the whole text is counted on,
// as vsnprintf counts it.
class Output {
public:
    Output(char* buffer, std::size_t capacity)
        : m_begin(buffer), m_at(buffer), m_end(capacity ? buffer + capacity - 1 : buffer) {}

    void append(const char* text, std::size_t length) {
        const auto room = static_cast<std::size_t>(m_end - m_at);
        if (length <= room) {
            copyBytes(m_at, text, length);
            m_at += length;
        } else {
            copyBytes(m_at, text, room);
            m_at = m_end;
            m_cut += length - room;
        }
    }
    // Copies the format's text up to its next '%' or its end, where it returns.
    const char* appendLiteral(const char* text) {
        return appendUntil(text, [](char c) {
            // Characters above '%' (letters, digits, most punctuation) pass with one comparison.
            return static_cast<unsigned char>(c) <= '%' && (c == '%' || c == '\0');
        });
    }
    // Copies a whole text (a "%s" without a width).
    void appendText(const char* text) {
        appendUntil(text, [](char c) { return c == '\0'; });
    }
    void fill(char c, unsigned long long count) {
        if (count == 0)
            return;
        const auto written = static_cast<std::size_t>(
            std::min<unsigned long long>(count, static_cast<unsigned long long>(m_end - m_at)));
        if (written > 0) // without a buffer there is no address to give memset
            std::memset(m_at, c, written);
        m_at += written;
        m_cut += count - written;
    }
    void put(char c) {
        if (m_at != m_end)
            *m_at++ = c;
        else
            ++m_cut;
    }
    // In-place writing, for a piece known to fit.
    bool hasRoom(std::size_t count) const { return static_cast<std::size_t>(m_end - m_at) >= count; }
    char* position() const { return m_at; }
    void advance(std::size_t count) { m_at += count; }
    unsigned long long total() const { return static_cast<unsigned long long>(m_at - m_begin) + m_cut; }
    // Only for a buffer of at least one byte.
    void terminate() { *m_at = '\0'; }

private:
    // Copies characters until stops says so; returns where it stopped. Four characters a round while
    // there is room for four: the room is not looked at for each.
    template <typename Stops> const char* appendUntil(const char* text, Stops stops) {
        char* at = m_at;
        while (static_cast<std::size_t>(m_end - at) >= 4) {
            std::size_t i = 0;
            if (!stops(text[0])) {
                at[0] = text[0];
                if (!stops(text[1])) {
                    at[1] = text[1];
                    if (!stops(text[2])) {
                        at[2] = text[2];
                        if (!stops(text[3])) {
                            at[3] = text[3];
                            at += 4;
                            text += 4;
                            continue;
                        }
                        i = 3;
                    } else {
                        i = 2;
                    }
                } else {
                    i = 1;
                }
            }
            m_at = at + i;
            return text + i;
        }
        for (; !stops(*text); ++text) {
            if (at != m_end)
                *at++ = *text;
            else
                ++m_cut;
        }
        m_at = at;
        return text;
    }

    char* m_begin;
    char* m_at;
    char* m_end;                  // the last byte, kept for the terminator
    unsigned long long m_cut = 0; // what did not fit: 64 bits, however wide size_t is
};

} // namespace text_format
