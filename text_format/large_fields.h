// Formats whose widths or precisions are too large to hand to the C runtime whole.
//
// mingw-w64's runtime builds an integer conversion in a stack buffer as large as its width or precision:
// "%1000000000d", "%.10000000d" or "%*d" with 10,000,000 overflow the caller's stack and end the process.
// glibc writes such a field character by character (seconds for a billion), and a precision of a billion
// digits of a floating-point number takes as long on both. A format with a field beyond
// kLargestRuntimeField is therefore formatted here conversion by conversion: the runtime formats each
// conversion with fields it handles at once, and this code adds the rest of the padding and of the
// precision's zeros, where and as the runtime puts them, counted in the result and cut at the buffer.
//
// Threads: pure functions of their arguments; any thread. The conversions formatted here may allocate a
// temporary copy of a conversion's text (a few tens of kilobytes at most, or a long "%s" argument); without
// memory the format is refused.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace text_format {

// The largest width or precision the runtime gets.
constexpr std::int64_t kLargestRuntimeField = 4096;

// Whether the format needs formatLargeFields: a conversion with a width, or a precision of digits (integers,
// pointers, floating point), beyond kLargestRuntimeField, read from the format or from a '*' argument. Also
// true when, after a conversion that is not understood (conversion_directive.h), a '*' or such a number
// follows: what the runtime would make of it cannot be known, and it may be one of those fields. Reads a copy
// of the arguments.
bool needsLargeFieldFormatting(const char* format, va_list arguments);

// Formats as vsnprintf does: the same text, cut at the buffer in the same place, the same result, but with
// every field, however large, costing no more than the part of it that fits the buffer. Refused (-1, the
// text formatted up to there in the buffer, NUL-terminated) at a conversion that is not understood, or at a
// number beyond INT_MAX in a field of the format; -1 too, as from vsnprintf, when the whole text is longer
// than INT_MAX. The arguments are read as the conversions read them.
int formatLargeFields(char* buffer, std::size_t capacity, const char* format, va_list* arguments);

} // namespace text_format
