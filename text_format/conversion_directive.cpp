#include "conversion_directive.h"

#include <cstring>

namespace text_format {

namespace {

constexpr char kFlags[] = "-+ #0'";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A star may only be followed by digits in a positional form ("*2$"), which is not understood.
const char* readStar(const char* at, FieldValue& value, bool& positional) {
    value.source = FieldValue::Source::Star;
    positional = isDigit(*at);
    return at;
}

// The standard length modifiers, longest first.
const char* readLength(const char* at, char (&length)[4], ArgumentType& integerType) {
    static const struct {
        const char* text;
        ArgumentType integerType;
    } kLengths[] = {{"hh", ArgumentType::Int},    {"h", ArgumentType::Int},    {"ll", ArgumentType::LongLong},
                    {"l", ArgumentType::Long},    {"j", ArgumentType::IntMax}, {"z", ArgumentType::Size},
                    {"t", ArgumentType::PtrDiff}, {"L", ArgumentType::None}};
    std::size_t size = 0;
    integerType = ArgumentType::Int;
    for (const auto& candidate : kLengths) {
        const std::size_t candidateSize = std::strlen(candidate.text);
        if (std::strncmp(at, candidate.text, candidateSize) == 0) {
            size = candidateSize;
            integerType = candidate.integerType;
            break;
        }
    }
    if (size == 0)
        size = platformLengthModifier(at, integerType);
    std::memcpy(length, at, size);
    length[size] = '\0';
    return at + size;
}

// The argument a conversion reads with a length modifier; None with understood false when the pair is not
// one both runtimes read alike.
ArgumentType argumentTypeOf(char conversion, const char* length, ArgumentType integerType, bool& understood) {
    understood = true;
    const bool none = length[0] == '\0';
    const bool l = std::strcmp(length, "l") == 0;
    switch (conversion) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        if (integerType != ArgumentType::None)
            return integerType;
        break;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (none || l)
            return ArgumentType::Double;
        if (std::strcmp(length, "L") == 0)
            return ArgumentType::LongDouble;
        break;
    case 'c': // with 'l' a wint_t, which is promoted to int
        if (none || l)
            return ArgumentType::Int;
        break;
    case 's':
        if (none || l)
            return ArgumentType::Pointer;
        break;
    case 'p':
        if (none)
            return ArgumentType::Pointer;
        break;
    case '%':
        if (none)
            return ArgumentType::None;
        break;
    default:
        break;
    }
    understood = false;
    return ArgumentType::None;
}

} // namespace

const char* readFieldDigits(const char* at, FieldValue& value) {
    value.source = FieldValue::Source::Digits;
    for (; isDigit(*at); ++at) {
        const auto digit = static_cast<unsigned>(*at - '0');
        value.digits =
            value.digits > (kMaxDigitsValue - digit) / 10 ? kMaxDigitsValue : value.digits * 10 + digit;
        value.wrappedDigits = value.wrappedDigits * 10u + digit;
    }
    return at;
}

bool ConversionDirective::hasFlag(char flag) const {
    return std::strchr(flags, flag) != nullptr && flag != '\0';
}

bool ConversionDirective::isIntegerLike() const {
    return std::strchr("dioxXup", conversion) != nullptr && conversion != '\0';
}

bool ConversionDirective::isFloating() const {
    return std::strchr("eEfFgGaA", conversion) != nullptr && conversion != '\0';
}

ConversionDirective readConversionDirective(const char* percent) {
    ConversionDirective directive;
    directive.start = percent;
    const char* at = percent + 1;

    bool seen[sizeof kFlags - 1] = {};
    for (const char* flag; *at != '\0' && (flag = std::strchr(kFlags, *at)) != nullptr; ++at)
        seen[flag - kFlags] = true;
    std::size_t flagCount = 0;
    for (std::size_t i = 0; i < sizeof seen; ++i) {
        if (seen[i])
            directive.flags[flagCount++] = kFlags[i];
    }

    bool positional = false;
    if (*at == '*')
        at = readStar(at + 1, directive.width, positional);
    else if (isDigit(*at))
        at = readFieldDigits(at, directive.width);
    if (*at == '$')
        positional = true;
    if (!positional && *at == '.') {
        ++at;
        if (*at == '*')
            at = readStar(at + 1, directive.precision, positional);
        else
            at = readFieldDigits(at, directive.precision);
    }
    directive.end = at;
    if (positional)
        return directive;

    ArgumentType integerType;
    at = readLength(at, directive.length, integerType);
    directive.conversion = *at;
    if (directive.conversion == '\0') {
        directive.end = at;
        return directive;
    }
    directive.end = at + 1;
    directive.type =
        argumentTypeOf(directive.conversion, directive.length, integerType, directive.understood);
    // "%*%" reads a star on one runtime and not on another.
    if (directive.conversion == '%' && (directive.width.source == FieldValue::Source::Star ||
                                        directive.precision.source == FieldValue::Source::Star))
        directive.understood = false;
    return directive;
}

} // namespace text_format
