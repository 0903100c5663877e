#include "large_fields.h"

#include "conversion_directive.h"
#include "output_buffer.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <utility>

namespace text_format {

namespace {

// Beyond this many decimal places every digit of a double or a long double is 0 (the smallest long double,
// 2^-16445, has 16,445 of them), and a longer precision only adds zeros. A floating-point conversion gets
// at most this precision from the runtime.
constexpr std::int64_t kExactFloatPrecision = 16500;

union ArgumentValue {
    int i;
    long l;
    long long ll;
    std::intmax_t im;
    std::size_t z;
    std::ptrdiff_t t;
    double d;
    long double ld;
    void* p;
};

ArgumentValue readArgument(ArgumentType type, va_list* arguments) {
    ArgumentValue value{};
    switch (type) {
    case ArgumentType::None:
        break;
    case ArgumentType::Int:
        value.i = va_arg(*arguments, int);
        break;
    case ArgumentType::Long:
        value.l = va_arg(*arguments, long);
        break;
    case ArgumentType::LongLong:
        value.ll = va_arg(*arguments, long long);
        break;
    case ArgumentType::IntMax:
        value.im = va_arg(*arguments, std::intmax_t);
        break;
    case ArgumentType::Size:
        value.z = va_arg(*arguments, std::size_t);
        break;
    case ArgumentType::PtrDiff:
        value.t = va_arg(*arguments, std::ptrdiff_t);
        break;
    case ArgumentType::Double:
        value.d = va_arg(*arguments, double);
        break;
    case ArgumentType::LongDouble:
        value.ld = va_arg(*arguments, long double);
        break;
    case ArgumentType::Pointer:
        value.p = va_arg(*arguments, void*);
        break;
    }
    return value;
}

bool isLarge(std::int64_t field) {
    return field > kLargestRuntimeField;
}

// A number in the format is large as a runtime that keeps it in 32 bits without an overflow check sees it.
// glibc refuses a number beyond INT_MAX by itself (at once, with -1).
bool digitsAreLarge(const FieldValue& field) {
    return field.source == FieldValue::Source::Digits && field.wrappedDigits <= INT_MAX &&
           isLarge(static_cast<std::int64_t>(field.wrappedDigits));
}

bool precisionMakesText(const ConversionDirective& directive) {
    return directive.isIntegerLike() || directive.isFloating();
}

// Reads the stars and the argument of one conversion; whether one of its fields is large.
bool readFieldsAreLarge(const ConversionDirective& directive, va_list* arguments) {
    bool large = false;
    if (directive.width.source == FieldValue::Source::Star) {
        const std::int64_t width = va_arg(*arguments, int);
        large = isLarge(width < 0 ? -width : width);
    } else {
        large = digitsAreLarge(directive.width);
    }
    if (directive.precision.source == FieldValue::Source::Star)
        large = (isLarge(va_arg(*arguments, int)) && precisionMakesText(directive)) || large;
    else
        large = (digitsAreLarge(directive.precision) && precisionMakesText(directive)) || large;
    readArgument(directive.type, arguments);
    return large;
}

// Whether, from a '%' on, any conversion has a '*' or a large number among the characters a runtime may
// read as its flags, fields and length.
bool restMayHaveLargeFields(const char* from) {
    static const char kFieldCharacters[] = "-+ #0'.*$hlLqjztIZw123456789";
    for (const char* at = std::strchr(from, '%'); at != nullptr; at = std::strchr(at, '%')) {
        ++at;
        while (*at != '\0' && std::strchr(kFieldCharacters, *at) != nullptr) {
            if (*at == '*')
                return true;
            if (*at >= '1' && *at <= '9') {
                FieldValue number;
                at = readFieldDigits(at, number);
                if (digitsAreLarge(number) || number.digits > INT_MAX)
                    return true;
                continue;
            }
            ++at;
        }
        if (*at != '\0')
            ++at; // the conversion character, or the second '%' of "%%"
    }
    return false;
}

// The widths and precision of a conversion once its stars are read. -1: none.
struct ResolvedFields {
    char flags[8] = {};
    std::int64_t width = -1;
    std::int64_t precision = -1;
};

// False for a number the runtime cannot take (beyond INT_MAX).
bool resolveFields(const ConversionDirective& directive, va_list* arguments, ResolvedFields& fields) {
    std::strcpy(fields.flags, directive.flags);
    if (directive.width.source == FieldValue::Source::Star) {
        const std::int64_t width = va_arg(*arguments, int);
        fields.width = width < 0 ? -width : width;
        // A negative width is a '-' flag and the width.
        if (width < 0 && !directive.hasFlag('-')) {
            std::memmove(fields.flags + 1, fields.flags, std::strlen(fields.flags) + 1);
            fields.flags[0] = '-';
        }
    } else if (directive.width.source == FieldValue::Source::Digits) {
        if (directive.width.digits > INT_MAX)
            return false;
        fields.width = static_cast<std::int64_t>(directive.width.digits);
    }
    if (directive.precision.source == FieldValue::Source::Star) {
        const int precision = va_arg(*arguments, int);
        fields.precision = precision < 0 ? -1 : precision; // a negative precision is none
    } else if (directive.precision.source == FieldValue::Source::Digits) {
        if (directive.precision.digits > INT_MAX)
            return false;
        fields.precision = static_cast<std::int64_t>(directive.precision.digits);
    }
    return true;
}

// One conversion as the runtime formats it, with the fields given.
class RuntimePiece {
public:
    // False when the runtime fails or no memory is left for the text.
    bool Format(const ConversionDirective& directive, const char* flags, std::int64_t width,
                std::int64_t precision, const ArgumentValue& value) {
        char format[48];
        int used = std::snprintf(format, sizeof format, "%%%s", flags);
        if (width >= 0)
            used += std::snprintf(format + used, sizeof format - static_cast<std::size_t>(used), "%lld",
                                  static_cast<long long>(width));
        if (precision >= 0)
            used += std::snprintf(format + used, sizeof format - static_cast<std::size_t>(used), ".%lld",
                                  static_cast<long long>(precision));
        std::snprintf(format + used, sizeof format - static_cast<std::size_t>(used), "%s%c", directive.length,
                      directive.conversion);
        const int length = callRuntime(m_small, sizeof m_small, format, directive, value);
        if (length < 0)
            return false;
        m_size = static_cast<std::size_t>(length);
        m_text = m_small;
        if (m_size < sizeof m_small)
            return true;
        m_large.reset(new (std::nothrow) char[m_size + 1]);
        if (!m_large || callRuntime(m_large.get(), m_size + 1, format, directive, value) != length)
            return false;
        m_text = m_large.get();
        return true;
    }
    const char* Text() const { return m_text; }
    std::size_t Size() const { return m_size; }
    bool SameAs(const RuntimePiece& other) const {
        return m_size == other.m_size && std::memcmp(m_text, other.m_text, m_size) == 0;
    }

private:
    static int callRuntime(char* buffer, std::size_t capacity, const char* format,
                           const ConversionDirective& directive, const ArgumentValue& value) {
        switch (directive.type) {
        case ArgumentType::None:
            return std::snprintf(buffer, capacity, format, 0);
        case ArgumentType::Int:
            return std::snprintf(buffer, capacity, format, value.i);
        case ArgumentType::Long:
            return std::snprintf(buffer, capacity, format, value.l);
        case ArgumentType::LongLong:
            return std::snprintf(buffer, capacity, format, value.ll);
        case ArgumentType::IntMax:
            return std::snprintf(buffer, capacity, format, value.im);
        case ArgumentType::Size:
            return std::snprintf(buffer, capacity, format, value.z);
        case ArgumentType::PtrDiff:
            return std::snprintf(buffer, capacity, format, value.t);
        case ArgumentType::Double:
            return std::snprintf(buffer, capacity, format, value.d);
        case ArgumentType::LongDouble:
            return std::snprintf(buffer, capacity, format, value.ld);
        case ArgumentType::Pointer:
            if (directive.conversion == 's' && directive.length[0] == 'l')
                return std::snprintf(buffer, capacity, format, static_cast<const wchar_t*>(value.p));
            if (directive.conversion == 's')
                return std::snprintf(buffer, capacity, format, static_cast<const char*>(value.p));
            return std::snprintf(buffer, capacity, format, value.p);
        }
        return -1;
    }

    char m_small[256];
    std::unique_ptr<char[]> m_large;
    const char* m_text = m_small;
    std::size_t m_size = 0;
};

// Where longer is shorter with one character inserted, one of allowed; false when it is not so.
bool findInsertion(const RuntimePiece& shorter, const RuntimePiece& longer, const char* allowed,
                   std::size_t& at) {
    if (longer.Size() != shorter.Size() + 1)
        return false;
    std::size_t i = 0;
    while (i < shorter.Size() && shorter.Text()[i] == longer.Text()[i])
        ++i;
    const char inserted = longer.Text()[i];
    if (inserted == '\0' || std::strchr(allowed, inserted) == nullptr ||
        std::memcmp(shorter.Text() + i, longer.Text() + i + 1, shorter.Size() - i) != 0)
        return false;
    at = i;
    return true;
}

// A run of one character to insert into a conversion's text.
struct Run {
    std::size_t at;
    char c;
    unsigned long long count;
};

// The runtime's text of the conversion with two runs inserted, the one further on last (at one place, first
// before second).
void putWithRuns(Output& out, const RuntimePiece& body, Run first, Run second) {
    if (second.at < first.at)
        std::swap(first, second);
    out.append(body.Text(), first.at);
    out.fill(first.c, first.count);
    out.append(body.Text() + first.at, second.at - first.at);
    out.fill(second.c, second.count);
    out.append(body.Text() + second.at, body.Size() - second.at);
}

bool putConversion(Output& out, const ConversionDirective& directive, const ResolvedFields& fields,
                   const ArgumentValue& value) {
    std::int64_t precision = fields.precision;
    if (directive.isFloating() && precision > kExactFloatPrecision)
        precision = kExactFloatPrecision;
    else if (directive.isIntegerLike() && isLarge(precision))
        precision = kLargestRuntimeField; // far more than the longest number's digits
    if (!isLarge(fields.width) && precision == fields.precision) {
        RuntimePiece whole;
        if (!whole.Format(directive, fields.flags, fields.width, precision, value))
            return false;
        out.append(whole.Text(), whole.Size());
        return true;
    }

    // The conversion with the precision the runtime takes, and with the smallest width when it has one: a
    // width may change more than the padding (mingw-w64 writes %p in 16 digits, but with a width in as few
    // as the value needs).
    const std::int64_t smallestWidth = fields.width >= 0 ? 1 : -1;
    RuntimePiece body;
    if (!body.Format(directive, fields.flags, smallestWidth, precision, value))
        return false;
    // The precision beyond: where one more digit of precision puts its '0', the rest go too.
    Run zeros{body.Size(), '0', 0};
    if (precision < fields.precision) {
        RuntimePiece longer;
        if (!longer.Format(directive, fields.flags, smallestWidth, precision + 1, value))
            return false;
        if (!longer.SameAs(body)) {
            if (!findInsertion(body, longer, "0", zeros.at))
                return false;
            zeros.count = static_cast<unsigned long long>(fields.precision - precision);
        }
    }
    // The width: where a width of one more than the text puts its padding character, the rest go too.
    Run padding{body.Size(), ' ', 0};
    const unsigned long long length = body.Size() + zeros.count;
    if (fields.width >= 0 && static_cast<unsigned long long>(fields.width) > length) {
        RuntimePiece padded;
        if (!padded.Format(directive, fields.flags, static_cast<std::int64_t>(body.Size()) + 1, precision,
                           value))
            return false;
        if (!padded.SameAs(body)) {
            if (!findInsertion(body, padded, " 0", padding.at))
                return false;
            padding.c = padded.Text()[padding.at];
            padding.count = static_cast<unsigned long long>(fields.width) - length;
        }
    }
    // At one place (the end of a left-aligned number) the zeros lengthen the number, the padding follows.
    putWithRuns(out, body, zeros, padding);
    return true;
}

} // namespace

bool needsLargeFieldFormatting(const char* format, va_list arguments) {
    va_list walk;
    va_copy(walk, arguments);
    bool large = false;
    for (const char* at = std::strchr(format, '%'); at != nullptr && !large;) {
        const ConversionDirective directive = readConversionDirective(at);
        if (!directive.understood) {
            large = restMayHaveLargeFields(at);
            break;
        }
        large = readFieldsAreLarge(directive, &walk);
        at = std::strchr(directive.end, '%');
    }
    va_end(walk);
    return large;
}

int formatLargeFields(char* buffer, std::size_t capacity, const char* format, va_list* arguments) {
    Output out(buffer, capacity);
    bool refused = false;
    for (const char* at = format;;) {
        at = out.appendLiteral(at);
        if (*at == '\0')
            break;
        const ConversionDirective directive = readConversionDirective(at);
        ResolvedFields fields;
        if (!directive.understood || !resolveFields(directive, arguments, fields) ||
            !putConversion(out, directive, fields, readArgument(directive.type, arguments))) {
            refused = true;
            break;
        }
        at = directive.end;
    }
    if (capacity > 0)
        out.terminate();
    return refused || out.total() > INT_MAX ? -1 : static_cast<int>(out.total());
}

} // namespace text_format
