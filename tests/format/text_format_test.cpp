// formatBounded against the platform's vsnprintf: for every case and every buffer size, the same bytes in
// the buffer (and none written past what vsnprintf writes) and the same result.
#include "text_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
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
    result.length = ours ? textformat::formatBounded(buffer, capacity, format, arguments)
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

TEST(TextFormat, ArgumentsThroughAnotherListAndWithoutABuffer) {
    // The way a library's variadic export hands its list on.
    char buffer[32];
    EXPECT_EQ(textformat::formatBoundedArgs(buffer, sizeof buffer, "%s-%d-%c", "id", -3, 'z'), 7);
    EXPECT_STREQ(buffer, "id--3-z");
    EXPECT_EQ(textformat::formatBoundedArgs(nullptr, 0, "%s %d", "twelve", 12), 9) << "only counted";
    EXPECT_EQ(textformat::formatBoundedArgs(buffer, 4, "%d", 123456), 6);
    EXPECT_STREQ(buffer, "123");
}

} // namespace
