// formatBounded against the platform's vsnprintf: for every case and every buffer size, the same bytes in
// the buffer (and none written past what vsnprintf writes) and the same result.
#include "text_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr char kUntouched = '\x5A';

std::string shown(const std::vector<char>& bytes) {
    std::string text;
    for (char c : bytes)
        text += c == '\0' ? std::string("\\0") : std::string(1, c);
    return text;
}

// One formatting at one capacity, by either formatter; the buffer is one byte larger than the capacity and
// prefilled, so that a byte written past it shows.
struct Result {
    int length;
    std::vector<char> bytes;
};

Result formatWith(bool ours, std::size_t capacity, const char* format, va_list arguments) {
    Result result{0, std::vector<char>(capacity + 1, kUntouched)};
    char* buffer = capacity == 0 ? nullptr : result.bytes.data();
    result.length = ours ? text_format::formatBounded(buffer, capacity, format, arguments)
                         : std::vsnprintf(buffer, capacity, format, arguments);
    return result;
}

// Compares both at capacities around the text's length and far beyond it.
void expectSame(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    const int whole = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<std::size_t> capacities{0, 1, 2, 3, 7, 300};
    if (whole > 0 && whole < 100000) {
        const auto length = static_cast<std::size_t>(whole);
        for (std::size_t capacity : {length - 1, length, length + 1, length + 2})
            capacities.push_back(capacity);
    }
    for (std::size_t capacity : capacities) {
        va_list forOurs, forTheirs;
        va_copy(forOurs, arguments);
        va_copy(forTheirs, arguments);
        const Result ours = formatWith(true, capacity, format, forOurs);
        const Result theirs = formatWith(false, capacity, format, forTheirs);
        va_end(forOurs);
        va_end(forTheirs);
        EXPECT_EQ(ours.length, theirs.length) << "\"" << format << "\", capacity " << capacity;
        EXPECT_EQ(shown(ours.bytes), shown(theirs.bytes)) << "\"" << format << "\", capacity " << capacity;
    }
    va_end(arguments);
}

TEST(TextFormat, FastConversionsGiveWhatVsnprintfGives) {
    const std::string longText(5000, 't');
    const std::vector<std::function<void()>> cases = {
        [] { expectSame(""); },
        [] { expectSame("plain text, no conversion\n"); },
        [] { expectSame("%%|%%%%|100%%"); },
        [] { expectSame("value %d of %s\n", 12345, "bench"); },
        [] { expectSame("%d|%i|%d|%i|%d", 0, -1, INT_MAX, INT_MIN, 7); },
        [] { expectSame("%d %d %d %d %d %d %d %d", 9, 10, 99, 100, 999, 1000, 9999, 10000); },
        [] { expectSame("%d %d %d %d %i %i", 99999999, 100000000, 999999999, 1000000000, -10, -1000000000); },
        [] { expectSame("%u|%u|%u", 0u, 42u, UINT_MAX); },
        [] { expectSame("%x|%X|%x|%X|%08x|%-8X|", 0u, 0xABCDEFu, UINT_MAX, 0x1234u, 0xBEEFu, 0xBEEFu); },
        [] { expectSame("%ld|%ld|%ld|%li", 0L, LONG_MAX, LONG_MIN, -5L); },
        [] { expectSame("%lu|%lx|%lX|%lu", 0UL, ULONG_MAX, 0xFEEDUL, ULONG_MAX); },
        [] {
            expectSame("%lld|%lld|%lli|%llu|%llx|%llX", LLONG_MIN, LLONG_MAX, -1LL, ULLONG_MAX, ULLONG_MAX,
                       0x1ULL);
        },
        [] { expectSame("[%5d][%-5d][%05d][%-05d][%0-5d][%00005d]", 42, 42, 42, 42, 42, 42); },
        [] { expectSame("[%5d][%-5d][%05d][%-05d][%1d][%2d]", -42, -42, -42, -42, -42, -42); },
        [] { expectSame("[%020ld][%-20ld][%3lu]", LONG_MIN, LONG_MIN, ULONG_MAX); },
        [] { expectSame("[%0d][%00d][%1d][%01d]", 0, 0, 0, 0); },
        [] { expectSame("[%s][%8s][%-8s][%1s][%-1s]", "", "abc", "abc", "abc", "abc"); },
        [] { expectSame("[%c][%3c][%-3c][%c]", 'x', 'y', 'z', 0x1FF); },
        [] { expectSame("[%c] after a zero byte", 0); },
        [] { expectSame("high bytes [%s][%c]", "\xE9t\xE9", 0xE9); },
        [] { expectSame("[%123456d][%-54321d]", 1, 2); },
        [&longText] { expectSame("%s|%s", longText.c_str(), "end"); },
        [] { expectSame("%d%d%d%d%d%d%d%d%d%d%d%d", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12); },
    };
    for (const auto& check : cases)
        check();
}

TEST(TextFormat, OtherConversionsGoToVsnprintfFromTheStart) {
    // Fast conversions come first in each, so that a fallback that did not restart its arguments shows.
    const std::vector<std::function<void()>> cases = {
        [] { expectSame("%d %s %.2f", 7, "pi", 3.14159); },
        [] { expectSame("%d %.3s|%5.1s", 1, "abcdef", "xyz"); },
        [] { expectSame("%d %+d % d %#x %#o", 1, 2, 3, 255u, 8u); },
        [] { expectSame("%d %hd %hhd %hu", 1, 70000, 300, 70000); },
        [] { expectSame("%d %*d|%-*d", 1, 6, 42, 6, 42); },
        [] { expectSame("%d %p", 1, static_cast<void*>(nullptr)); },
        [] { expectSame("%d %e %g %a", 1, 1.5, 2.5, 1.0); },
        [] { expectSame("%d %5%|%-3%", 1); },
        [] { expectSame("%d %o %zu", 9, 8u, std::size_t{77}); },
        [] { expectSame("%d %s", 1, static_cast<const char*>(nullptr)); },
        [] { expectSame("%d %lc", 1, static_cast<wint_t>('w')); },
        [] { expectSame("%d %05s|%05c", 1, "ab", 'c'); },
        [] { expectSame("%d %12345678901d", 1, 2); },
    };
    for (const auto& check : cases)
        check();
}

// Fields beyond what the C runtime gets whole (4,096), still small enough for every runtime to format in one
// piece here: the conversion by conversion formatting gives exactly its text and result.
TEST(TextFormat, LargeFieldsGiveWhatVsnprintfGives) {
    const std::wstring wide = L"wide";
    const std::vector<std::function<void()>> cases = {
        [] { expectSame("%d [%5000d][%-5000d][%05000d][%+05000d][% 5000i]", 1, 2, 3, -4, 5, 6); },
        [] { expectSame("[%.5000d][%.5000i][%-8000.5000d][%08000.5000d][%.5000u]", 7, -8, 9, -10, 11u); },
        [] {
            expectSame("[%#.5000x][%#.5000X][%#5000x][%#05000x][%#.5000o][%#5000o]", 255u, 0u, 255u, 255u, 8u,
                       8u);
        },
        [] {
            expectSame("[%*d][%*d][%.*d][%.*d][%-*.*d]", 6000, 1, -6000, 2, 5000, 3, -5000, 4, 9000, 4500, 5);
        },
        [] {
            expectSame("[%5000ld][%.5000lld][%5000hd][%.5000hhu][%5000zu]", -1L, LLONG_MIN, 70000, 300,
                       std::size_t{9});
        },
        [] { expectSame("[%5000jd][%.5000td][%5000.0d][%.0d]", std::intmax_t{-3}, std::ptrdiff_t{4}, 0, 0); },
        [] { expectSame("[%5000s][%-5000s][%5000.2s][%5000c][%-5000c]", "abc", "abc", "abc", 'x', 'y'); },
        [] {
            expectSame("[%5000p][%-5000p][%.5000p]", static_cast<void*>(nullptr),
                       reinterpret_cast<void*>(0x1234), reinterpret_cast<void*>(0xBEEF));
        },
        [&wide] { expectSame("[%5000ls][%-5000lc]", wide.c_str(), static_cast<wint_t>('w')); },
        [] { expectSame("[%5000%][%s]", "after a width on %%"); },
        [] { expectSame("[%.5000f][%.20000f][%.20000f][%.20000f]", 1.5, -0.1, 1e-300, 123456789.0); },
        [] {
            expectSame("[%.20000e][%.20000E][%#.20000g][%.20000g][%.20000G]", 1.5, -2.5e100, 0.1, 0.1, 1e-10);
        },
        [] { expectSame("[%.20000a][%.20000A]", 1.5, -0.1); },
        [] { expectSame("[%020000.3f][%-20000.3e][%+20000g][% 020000.1f]", -2.5, 3.25, 1e300, 4.0); },
        [] { expectSame("[%020000f][%-20000f][%20000f]", HUGE_VAL, -HUGE_VAL, std::nan("")); },
        [] { expectSame("[%20000.20000f][%-30000.20000e]", 1.0 / 3, -1.0 / 3); },
        [] { expectSame("[%.20000Lf][%20000.3Le][%.5000Lg]", 1.5L, -2.25L, 0.1L); },
        [] { expectSame("[%s|%d|%5000d|%x|%.3f]", "fast first", 12, 34, 0xABu, 2.5); },
    };
    for (const auto& check : cases)
        check();
}

// One formatting by ours or by vsnprintf into a 64-byte buffer.
Result formattedBy(bool ours, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Result result = formatWith(ours, 64, format, arguments);
    va_end(arguments);
    return result;
}

// A huge field against the runtime's text of the same conversion with a moderate field: the same 63 bytes
// in the buffer (the moderate field already fills it), and a result longer by what the huge field adds.
void expectCutLike(const Result& huge, const Result& moderate, long long longer) {
    EXPECT_EQ(shown(huge.bytes), shown(moderate.bytes));
    EXPECT_EQ(huge.length, moderate.length < 0 ? -1 : moderate.length + longer);
}

// The formats that ended a Windows host with a stack overflow inside mingw-w64's formatter, and fields so
// large that the runtime writes for seconds: the text is cut at the buffer, at once, on every platform.
TEST(TextFormat, HugeFieldsAreCutAtTheBuffer) {
    struct Case {
        const char* name;
        std::function<Result()> huge;
        std::function<Result()> moderate;
        long long longer;
    };
    const Case cases[] = {
        {"width", [] { return formattedBy(true, "%1000000000d", 5); },
         [] { return formattedBy(false, "%100d", 5); }, 1000000000 - 100},
        {"left width", [] { return formattedBy(true, "%-1000000000d|", 5); },
         [] { return formattedBy(false, "%-100d|", 5); }, 1000000000 - 100},
        {"zero width", [] { return formattedBy(true, "%01000000000d", -5); },
         [] { return formattedBy(false, "%0100d", -5); }, 1000000000 - 100},
        {"precision", [] { return formattedBy(true, "%.10000000d", 5); },
         [] { return formattedBy(false, "%.100d", 5); }, 10000000 - 100},
        {"star width", [] { return formattedBy(true, "%*d", 10000000, 5); },
         [] { return formattedBy(false, "%*d", 100, 5); }, 10000000 - 100},
        {"negative star width", [] { return formattedBy(true, "%*d|", -10000000, 5); },
         [] { return formattedBy(false, "%*d|", -100, 5); }, 10000000 - 100},
        {"star precision", [] { return formattedBy(true, "%.*d", 10000000, -5); },
         [] { return formattedBy(false, "%.*d", 100, -5); }, 10000000 - 100},
        {"both", [] { return formattedBy(true, "%2000000000.1000000000x", 255u); },
         [] { return formattedBy(false, "%200.100x", 255u); }, 2000000000 - 200},
        {"alternate hexadecimal", [] { return formattedBy(true, "%#.10000000x", 255u); },
         [] { return formattedBy(false, "%#.100x", 255u); }, 10000000 - 100},
        {"pointer", [] { return formattedBy(true, "%10000000p", static_cast<void*>(nullptr)); },
         [] { return formattedBy(false, "%100p", static_cast<void*>(nullptr)); }, 10000000 - 100},
        {"text", [] { return formattedBy(true, "%1000000000s", "ab"); },
         [] { return formattedBy(false, "%100s", "ab"); }, 1000000000 - 100},
        {"character", [] { return formattedBy(true, "%-1000000000c", 'x'); },
         [] { return formattedBy(false, "%-100c", 'x'); }, 1000000000 - 100},
        {"fixed", [] { return formattedBy(true, "%.1000000000f", 1.5); },
         [] { return formattedBy(false, "%.100f", 1.5); }, 1000000000 - 100},
        {"exponent", [] { return formattedBy(true, "%.1000000000e", -1.5); },
         [] { return formattedBy(false, "%.100e", -1.5); }, 1000000000 - 100},
        {"alternate general", [] { return formattedBy(true, "%#.1000000000g", 0.1); },
         [] { return formattedBy(false, "%#.100g", 0.1); }, 1000000000 - 100},
        {"general", [] { return formattedBy(true, "%.1000000000g", 0.1); },
         [] { return formattedBy(false, "%.100g", 0.1); }, 0},
        {"infinity", [] { return formattedBy(true, "%01000000000f", -HUGE_VAL); },
         [] { return formattedBy(false, "%0100f", -HUGE_VAL); }, 1000000000 - 100},
        {"long double", [] { return formattedBy(true, "%-1000000000.1000000Lf|", 2.5L); },
         [] { return formattedBy(false, "%-300.100Lf|", 2.5L); }, 1000000000 - 300},
        {"among others", [] { return formattedBy(true, "[%s] %d %1000000000d %x", "a", 1, 2, 3u); },
         [] { return formattedBy(false, "[%s] %d %100d %x", "a", 1, 2, 3u); }, 1000000000 - 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectCutLike(c.huge(), c.moderate(), c.longer);
    }
}

// What the runtime refuses or would refuse: a text longer than INT_MAX is -1 (vsnprintf's overflow error)
// with the buffer full; a format with a huge field and something not read alike by every runtime (a
// positional argument, %n, a number beyond INT_MAX) is refused at that conversion, as is one where a star
// follows a conversion that is not understood.
TEST(TextFormat, HugeFieldsThatCannotBeFormattedAreRefused) {
    const std::string full(63, ' ');
    struct Case {
        const char* name;
        std::function<Result()> ours;
        std::string text;
    };
    int count = 0;
    const Case cases[] = {
        {"two stars of INT_MAX", [] { return formattedBy(true, "%*d%*d", INT_MAX, 1, INT_MAX, 2); }, full},
        {"three fast widths", [] { return formattedBy(true, "%999999999d%999999999d%999999999d", 1, 2, 3); },
         full},
        {"number beyond INT_MAX", [] { return formattedBy(true, "ab%.10000000d%4294967297d", 1, 2); },
         "ab" + std::string(61, '0')},
        {"positional", [] { return formattedBy(true, "ab%1$*2$d", 5, 10000000); }, "ab"},
        {"count", [&count] { return formattedBy(true, "ab%10000000d%n", 5, &count); },
         "ab" + std::string(61, ' ')},
        {"unknown conversion, then a star", [] { return formattedBy(true, "ab%y%*d", 10000000, 5); }, "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result result = c.ours();
        EXPECT_EQ(result.length, -1);
        EXPECT_EQ(std::string(result.bytes.data()), c.text);
    }
    EXPECT_EQ(count, 0) << "nothing written through %n";
    // Without a huge field, the runtime still takes what it alone understands.
    expectSame("[%y %d]", 5);
    expectSame("[%1$d %1$d]", 7);
}

TEST(TextFormat, ArgumentsThroughAnotherListAndWithoutABuffer) {
    // The way a library's variadic export hands its list on.
    char buffer[32];
    EXPECT_EQ(text_format::formatBoundedArgs(buffer, sizeof buffer, "%s-%d-%c", "id", -3, 'z'), 7);
    EXPECT_STREQ(buffer, "id--3-z");
    EXPECT_EQ(text_format::formatBoundedArgs(nullptr, 0, "%s %d", "twelve", 12), 9) << "only counted";
    EXPECT_EQ(text_format::formatBoundedArgs(buffer, 4, "%d", 123456), 6);
    EXPECT_STREQ(buffer, "123");
}

} // namespace
