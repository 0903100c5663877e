// One printf conversion of a format ("%-08.3lx"), read as the platform's C runtime reads it, and the type
// of the argument it takes.
//
// Only conversions that both C runtimes the libraries meet read the same way, plus the length modifiers of
// the platform's own (platformLengthModifier), are understood; anything else (a positional argument "%1$d",
// a conversion or length modifier of one runtime only, %n, a lone '%' at the end) is marked not
// understood, and the arguments after it cannot be told apart. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text_format {

// The type a conversion reads from the argument list (after the default promotions).
enum class ArgumentType { None, Int, Long, LongLong, IntMax, Size, PtrDiff, Double, LongDouble, Pointer };

// A width or a precision as the format gives it.
struct FieldValue {
    enum class Source { Absent, Digits, Star };
    Source source = Source::Absent;
    // Digits: the number written, up to kMaxDigitsValue (larger numbers stop there).
    std::uint64_t digits = 0;
    // Digits: the same number modulo 2^32, as a 32-bit runtime that does not check for overflow keeps it.
    std::uint32_t wrappedDigits = 0;
};

struct ConversionDirective {
    const char* start = nullptr; // the '%'
    const char* end = nullptr;   // just after the conversion character (or where reading stopped)
    bool understood = false;
    // The flags, each at most once, in the order "-+ #0'".
    char flags[7] = {};
    FieldValue width;
    FieldValue precision;
    // The length modifier as written ("", "l", "hh", "I64", ...), at most three characters.
    char length[4] = {};
    char conversion = '\0';
    ArgumentType type = ArgumentType::None;

    bool hasFlag(char flag) const;
    // d i o u x X p: the precision is a number of digits, written as leading zeros.
    bool isIntegerLike() const;
    // e E f F g G a A.
    bool isFloating() const;
};

constexpr std::uint64_t kMaxDigitsValue = 0xFFFFFFFFFFull;

// Reads a run of digits (a width or precision) into value; returns where the run ends.
const char* readFieldDigits(const char* at, FieldValue& value);

// Reads the conversion that starts at the '%' at percent. The result's end is where the format goes on.
ConversionDirective readConversionDirective(const char* percent);

// Length modifiers that only the platform's C runtime knows (Windows: "I64", "I32", "I"): how many
// characters of one start at at (0: none), and the size of integer it gives.
std::size_t platformLengthModifier(const char* at, ArgumentType& integerType);

} // namespace text_format
