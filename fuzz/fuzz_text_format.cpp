// formatBounded against vsnprintf: random formats built from the fast path's grammar (literal text, "%%",
// conversions with flags, widths and lengths) and a few forms next to it that vsnprintf must handle (a
// precision, '+', ' ', '#', 'h', widths and precisions too large to hand to it whole), with random arguments
// of the types their conversions read, into a buffer of random size. Property: the same bytes in the buffer
// and the same result.
#include "fuzz_check.h"
#include "text_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxArguments = 5;

enum class Kind { Int, Long, LongLong, Text };

struct Argument {
    Kind kind;
    long long number;
    const char* text;
};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint64_t bytes(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 8 | byte();
        return value;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

struct Case {
    std::string format;
    std::vector<Argument> arguments;
    std::vector<std::string> texts; // what the text arguments point into
};

void compare(const Case& c, std::size_t capacity, ...) {
    std::vector<char> ours(capacity + 1, '\x5A'), theirs(capacity + 1, '\x5A');
    va_list arguments;
    va_start(arguments, capacity);
    va_list copy;
    va_copy(copy, arguments);
    const int ourLength =
        text_format::formatBounded(capacity ? ours.data() : nullptr, capacity, c.format.c_str(), arguments);
    const int theirLength =
        std::vsnprintf(capacity ? theirs.data() : nullptr, capacity, c.format.c_str(), copy);
    va_end(copy);
    va_end(arguments);
    FUZZ_REQUIRE(ourLength == theirLength);
    FUZZ_REQUIRE(ours == theirs);
}

// Calls compare with the arguments in their types, one more each step.
template <typename... Passed>
void callWith(const Case& c, std::size_t capacity, std::size_t next, Passed... passed) {
    if constexpr (sizeof...(Passed) < kMaxArguments) {
        if (next < c.arguments.size()) {
            const Argument& a = c.arguments[next];
            switch (a.kind) {
            case Kind::Int:
                return callWith(c, capacity, next + 1, passed..., static_cast<int>(a.number));
            case Kind::Long:
                return callWith(c, capacity, next + 1, passed..., static_cast<long>(a.number));
            case Kind::LongLong:
                return callWith(c, capacity, next + 1, passed..., a.number);
            case Kind::Text:
                return callWith(c, capacity, next + 1, passed..., a.text);
            }
        }
    }
    compare(c, capacity, passed...);
}

void addConversion(Case& c, Input& in) {
    const std::uint8_t shape = in.byte();
    std::string directive = "%";
    static const char* const kFlags[] = {"", "", "-", "0", "-0", "0-", "00", "+", " ", "#"};
    directive += kFlags[shape % 10];
    // Now and then a field beyond what the C runtime gets whole (4,096): formatted conversion by
    // conversion, which must still give vsnprintf's text.
    const std::uint8_t widthShape = in.byte();
    if (widthShape % 16 == 0) {
        directive += std::to_string(4090 + in.bytes(2) % 3000);
    } else {
        for (int i = widthShape % 4; i > 0; --i)
            directive += static_cast<char>('0' + in.byte() % 10);
    }
    const std::uint8_t precisionShape = in.byte();
    if (precisionShape % 8 == 0) // a precision: not on the fast path
        directive += "." + std::to_string(in.byte() % 12);
    else if (precisionShape % 8 == 1 && precisionShape > 128)
        directive += "." + std::to_string(4090 + in.bytes(2) % 3000);
    static const char kConversions[] = {'d', 'i', 'u', 'x', 'X', 's', 'c', '%'};
    const char conversion = kConversions[(shape / 10) % 8];
    if (conversion == '%') {
        c.format += directive + "%"; // with flags or a width: vsnprintf's
        return;
    }
    Kind kind = Kind::Int;
    if (conversion == 's') {
        kind = Kind::Text;
    } else if (conversion != 'c') {
        static const char* const kLengths[] = {"", "", "l", "ll", "h"};
        const int length = in.byte() % 5;
        directive += kLengths[length];
        kind = length == 2 ? Kind::Long : length == 3 ? Kind::LongLong : Kind::Int;
    }
    directive += conversion;
    Argument argument{kind, static_cast<long long>(in.bytes(kind == Kind::Int ? 4 : 8)), nullptr};
    if (kind == Kind::Text) {
        std::string text;
        for (int n = in.byte() % 24; n > 0; --n) {
            const char b = static_cast<char>(in.byte());
            text += b == '\0' ? 'z' : b;
        }
        c.texts.push_back(text);
    }
    c.format += directive;
    c.arguments.push_back(argument);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::size_t capacity = in.byte() < 200 ? in.byte() : 4096;
    Case c;
    c.texts.reserve(kMaxArguments);
    while (!in.empty() && c.arguments.size() < kMaxArguments) {
        const std::uint8_t piece = in.byte();
        if (piece < 96) {
            // Literal text, without the characters that end or start a conversion.
            for (int n = piece % 8 + 1; n > 0; --n) {
                const char b = static_cast<char>(in.byte());
                c.format += b == '\0' || b == '%' ? '.' : b;
            }
        } else if (piece < 112) {
            c.format += "%%";
        } else {
            addConversion(c, in);
        }
    }
    std::size_t text = 0;
    for (Argument& argument : c.arguments) {
        if (argument.kind == Kind::Text)
            argument.text = c.texts[text++].c_str();
    }
    callWith(c, capacity, 0);
    return 0;
}
