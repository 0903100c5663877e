#include "text_format.h"

#include "large_fields.h"
#include "output_buffer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace text_format {

namespace {

enum class Length { Int, Long, LongLong };

struct Field {
    bool left = false;
    bool zero = false;
    std::size_t width = 0;
    Length length = Length::Int;
};

// Writes value's decimal digits so that they end just before end, two a step; returns where they begin.
char* writeDecimalBackwards(char* end, unsigned long long value) {
    static const char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    while (value >= 100) {
        const auto pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        *--end = kPairs[pair + 1];
        *--end = kPairs[pair];
    }
    if (value >= 10) {
        const auto pair = static_cast<std::size_t>(value) * 2;
        *--end = kPairs[pair + 1];
        *--end = kPairs[pair];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// 10^0 to 10^19, the powers of ten below 2^64.
struct PowersOfTen {
    unsigned long long value[20];
    constexpr PowersOfTen() : value() {
        unsigned long long power = 1;
        for (auto& entry : value) {
            entry = power;
            power *= 10;
        }
    }
};
constexpr PowersOfTen kPowersOfTen;

std::size_t decimalDigits(unsigned long long value) {
    if (value < 10)
        return 1;
    // From the number of bits (times log10(2), about 1233 / 4096) to the number of digits, one short
    // at most.
    const auto bits = static_cast<std::size_t>(64 - __builtin_clzll(value));
    const std::size_t estimate = bits * 1233 >> 12;
    return estimate + (value >= kPowersOfTen.value[estimate] ? 1 : 0);
}

// A number's digits, written from the end of a buffer that holds the longest 64-bit value.
class Digits {
public:
    void decimal(unsigned long long value) {
        m_start = static_cast<std::size_t>(writeDecimalBackwards(m_text + sizeof m_text, value) - m_text);
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

// A decimal number without a field: in place when the buffer has room for any, as most have.
void putPlainDecimal(Output& out, unsigned long long magnitude, bool negative) {
    if (!out.hasRoom(21)) {
        Digits digits;
        digits.decimal(magnitude);
        putNumber(out, Field(), negative, digits);
        return;
    }
    char* at = out.position();
    if (negative)
        *at++ = '-';
    const std::size_t count = decimalDigits(magnitude);
    writeDecimalBackwards(at + count, magnitude);
    out.advance(count + (negative ? 1 : 0));
}

unsigned long long magnitudeOf(long long value) {
    // In unsigned arithmetic: the most negative value has no positive counterpart.
    return value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
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
        at = out.appendLiteral(at);
        if (*at == '\0')
            return true;
        ++at; // the '%'
        // The most frequent conversions, bare, first.
        switch (*at) {
        case '%':
            out.put('%');
            ++at;
            continue;
        case 'd':
        case 'i': {
            ++at;
            const int value = va_arg(*arguments, int);
            putPlainDecimal(out, magnitudeOf(value), value < 0);
            continue;
        }
        case 's': {
            ++at;
            const char* text = va_arg(*arguments, const char*);
            if (!text)
                return false;
            out.appendText(text);
            continue;
        }
        default:
            break;
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
            Digits digits;
            digits.decimal(magnitudeOf(value));
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
            if (field.width == 0)
                out.appendText(text);
            else
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
    if (handled) {
        if (capacity > 0)
            out.terminate();
        // Longer than a result can say: vsnprintf's overflow error, with the text cut as it is.
        return out.total() > static_cast<unsigned long long>(INT_MAX) ? -1 : static_cast<int>(out.total());
    }
    if (format != nullptr && needsLargeFieldFormatting(format, arguments)) {
        va_list largeArguments;
        va_copy(largeArguments, arguments);
        const int length = formatLargeFields(buffer, capacity, format, &largeArguments);
        va_end(largeArguments);
        return length;
    }
    return std::vsnprintf(buffer, capacity, format, arguments);
}

int formatBoundedArgs(char* buffer, std::size_t capacity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = formatBounded(buffer, capacity, format, arguments);
    va_end(arguments);
    return length;
}

} // namespace text_format
