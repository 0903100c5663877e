// printf-style formatting into a caller's buffer, as std::vsnprintf does it, at a fraction of its cost for
// the conversions diagnostic text uses most. Shared by the libraries that format on their callers' threads
// (a static library each of them compiles in; it depends on nothing but the C++ standard library).
//
// Contract: formatBounded(buffer, capacity, format, arguments) gives exactly what
// std::vsnprintf(buffer, capacity, format, arguments) gives on the same platform: the same bytes in the
// buffer (at most capacity - 1 of the text, then a terminating zero; nothing at all when capacity is 0,
// where buffer may be null) and the same result (the length of the whole text, cut or not; negative on an
// error). The arguments are consumed as vsnprintf consumes them: afterwards the caller may only va_end its
// list (or use a va_copy made before the call).
//
// The fast path. A format is handled here, without the C library, when every conversion in it is one of:
//   %%                                  (nothing between the two percent signs)
//   %[flags][width][length]conversion
//     flags       any number of '-' (left-align) and '0' (pad with zeros; ignored with '-')
//     width       decimal digits (not '*'), at most 9 of them; no precision ('.') at all
//     length      none (int), 'l' (long) or 'll' (long long)
//     conversion  d i (signed decimal), u (unsigned decimal), x X (unsigned hexadecimal, lower or upper
//                 case), s (text; no length, no '0' flag, not a null pointer), c (one byte; no length, no
//                 '0' flag)
// Anything else (another flag or length, a precision, '*', '$', floating point, %p, %n, a null text, a
// lone '%' at the end, ...) hands the whole format to std::vsnprintf, from the start, with a copy of the
// arguments made before the fast path read any. Where the C standard leaves a result to the platform ('0'
// with s or c, a null text) the platform answers. A whole text longer than INT_MAX gives -1, as from
// vsnprintf, with the text cut at the buffer.
//
// Large fields. No format ends the process or takes longer than what fits the buffer: a format with a
// width or precision too large for the C runtime (large_fields.h: mingw-w64's overflows the stack) is
// formatted conversion by conversion instead, with the same text, cut at the same place, and the same
// result. A few formats it cannot read safely are refused there (-1).
//
// Threads: a pure function of its arguments; any thread, any number at once. No allocation (but for a
// format with a large field), no locale (none of the fast conversions depends on it).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace text_format {

int formatBounded(char* buffer, std::size_t capacity, const char* format, va_list arguments);

// The same with the arguments in place.
int formatBoundedArgs(char* buffer, std::size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

} // namespace text_format
