#include "value_text.h"

#include <cstdint>

namespace kitbag {

namespace {

bool equalsIgnoringCase(std::string_view text, std::string_view lowerWord) {
    if (text.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lowerWord[i])
            return false;
    }
    return true;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<int> parseHex(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    int significant = 0;
    for (char c : digits) {
        int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        if (value != 0 || digit != 0)
            ++significant;
        if (significant > 8)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(value); // the 32-bit pattern, by design
}

std::optional<int> parseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<bool> parseBool(std::string_view text) {
    if (text == "1" || equalsIgnoringCase(text, "true"))
        return true;
    if (text == "0" || equalsIgnoringCase(text, "false"))
        return false;
    return std::nullopt;
}

std::optional<int> parseInt32(std::string_view text) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseHex(text.substr(2));
    return parseDecimal(text);
}

std::string formatBool(bool value) {
    return value ? "1" : "0";
}

std::string formatInt32(int value) {
    return std::to_string(value);
}

} // namespace kitbag
