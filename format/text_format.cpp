#include "text_format.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace textformat {

namespace {

// The text goes into the buffer up to its last byte but one; the length of the whole text is counted on,
// as vsnprintf counts it.
class Output {
public:
    Output(char* buffer, std::size_t capacity) : m_buffer(buffer), m_limit(capacity ? capacity - 1 : 0) {}

    void append(const char* text, std::size_t length) {
        if (m_total < m_limit)
            std::memcpy(m_buffer + m_total, text, std::min(length, m_limit - m_total));
        m_total += length;
    }
    void fill(char c, std::size_t count) {
        if (m_total < m_limit)
            std::memset(m_buffer + m_total, c, std::min(count, m_limit - m_total));
        m_total += count;
    }
    void put(char c) {
        if (m_total < m_limit)
            m_buffer[m_total] = c;
        ++m_total;
    }
    std::size_t total() const { return m_total; }
    // Only for a buffer of at least one byte.
    void terminate() { m_buffer[std::min(m_total, m_limit)] = '\0'; }

private:
    char* m_buffer;
    std::size_t m_limit;
    std::size_t m_total = 0;
};

enum class Length { Int, Long, LongLong };

struct Field {
    bool left = false;
    bool zero = false;
    std::size_t width = 0;
    Length length = Length::Int;
};

// A number's digits, written from the end of a buffer that holds the longest 64-bit value.
class Digits {
public:
    void decimal(unsigned long long value) {
        do {
            m_text[--m_start] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
    }
    void hexadecimal(unsigned long long value, bool upper) {
        const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            m_text[--m_start] = digits[value & 0xF];
            value >>= 4;
        } while (value != 0);
    }
    const char* text() const { return m_text + m_start; }
    std::size_t count() const { return sizeof m_text - m_start; }

private:
    char m_text[24];
    std::size_t m_start = sizeof m_text;
};

void putNumber(Output& out, const Field& field, bool negative, const Digits& digits) {
    const std::size_t length = digits.count() + (negative ? 1 : 0);
    const std::size_t padding = field.width > length ? field.width - length : 0;
    if (field.left) {
        if (negative)
            out.put('-');
        out.append(digits.text(), digits.count());
        out.fill(' ', padding);
    } else if (field.zero) {
        if (negative)
            out.put('-');
        out.fill('0', padding);
        out.append(digits.text(), digits.count());
    } else {
        out.fill(' ', padding);
        if (negative)
            out.put('-');
        out.append(digits.text(), digits.count());
    }
}

void putText(Output& out, const Field& field, const char* text, std::size_t length) {
    const std::size_t padding = field.width > length ? field.width - length : 0;
    if (!field.left)
        out.fill(' ', padding);
    out.append(text, length);
    if (field.left)
        out.fill(' ', padding);
}

long long signedArgument(Length length, va_list* arguments) {
    switch (length) {
    case Length::Int:
        return va_arg(*arguments, int);
    case Length::Long:
        return va_arg(*arguments, long);
    default:
        return va_arg(*arguments, long long);
    }
}

unsigned long long unsignedArgument(Length length, va_list* arguments) {
    switch (length) {
    case Length::Int:
        return va_arg(*arguments, unsigned);
    case Length::Long:
        return va_arg(*arguments, unsigned long);
    default:
        return va_arg(*arguments, unsigned long long);
    }
}

// Formats the whole format on the fast path; false at the first thing it does not handle (what it wrote
// so far is then to be thrown away).
bool formatFast(Output& out, const char* format, va_list* arguments) {
    const char* at = format;
    for (;;) {
        const char* literal = at;
        while (*at != '\0' && *at != '%')
            ++at;
        if (at != literal)
            out.append(literal, static_cast<std::size_t>(at - literal));
        if (*at == '\0')
            return true;
        ++at; // the '%'
        if (*at == '%') {
            out.put('%');
            ++at;
            continue;
        }
        Field field;
        for (;; ++at) {
            if (*at == '-')
                field.left = true;
            else if (*at == '0')
                field.zero = true;
            else
                break;
        }
        for (int digits = 0; *at >= '0' && *at <= '9'; ++at) {
            if (++digits > 9)
                return false;
            field.width = field.width * 10 + static_cast<std::size_t>(*at - '0');
        }
        if (*at == 'l') {
            ++at;
            field.length = Length::Long;
            if (*at == 'l') {
                ++at;
                field.length = Length::LongLong;
            }
        }
        const char conversion = *at++;
        switch (conversion) {
        case 'd':
        case 'i': {
            const long long value = signedArgument(field.length, arguments);
            // The magnitude in unsigned arithmetic: the most negative value has no positive counterpart.
            const unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                           : static_cast<unsigned long long>(value);
            Digits digits;
            digits.decimal(magnitude);
            putNumber(out, field, value < 0, digits);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            const unsigned long long value = unsignedArgument(field.length, arguments);
            Digits digits;
            if (conversion == 'u')
                digits.decimal(value);
            else
                digits.hexadecimal(value, conversion == 'X');
            putNumber(out, field, false, digits);
            break;
        }
        case 's': {
            if (field.length != Length::Int || field.zero)
                return false;
            const char* text = va_arg(*arguments, const char*);
            if (!text)
                return false;
            putText(out, field, text, std::strlen(text));
            break;
        }
        case 'c': {
            if (field.length != Length::Int || field.zero)
                return false;
            const char c = static_cast<char>(static_cast<unsigned char>(va_arg(*arguments, int)));
            putText(out, field, &c, 1);
            break;
        }
        default:
            return false;
        }
    }
}

} // namespace

int formatBounded(char* buffer, std::size_t capacity, const char* format, va_list arguments) {
    // The fast path reads a copy: the caller's list stays at its start for vsnprintf.
    va_list fastArguments;
    va_copy(fastArguments, arguments);
    Output out(buffer, capacity);
    const bool handled = format != nullptr && formatFast(out, format, &fastArguments);
    va_end(fastArguments);
    if (!handled || out.total() > static_cast<std::size_t>(INT_MAX))
        return std::vsnprintf(buffer, capacity, format, arguments);
    if (capacity > 0)
        out.terminate();
    return static_cast<int>(out.total());
}

int formatBoundedArgs(char* buffer, std::size_t capacity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = formatBounded(buffer, capacity, format, arguments);
    va_end(arguments);
    return length;
}

} // namespace textformat
