#include "log/logging_word.h"

#include "api/format_string.h"

#include <cstring>

namespace logging_word {

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithOptionName(const char* text) {
    for (const char* name = kOptionName; *name; ++name, ++text) {
        if (lowerAscii(*text) != *name)
            return false;
    }
    return true;
}

} // namespace

std::uint32_t ParseHex(const char* text) {
    while (isWhiteSpace(*text))
        ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    std::uint32_t value = 0;
    for (int digit; (digit = hexDigit(*text)) >= 0; ++text)
        value = value * 16u + static_cast<std::uint32_t>(digit);
    return value;
}

std::string FormatWord(std::uint32_t word) {
    std::string text;
    FormatString(text, "%08X", static_cast<unsigned>(word));
    return text;
}

char* FindOption(char* commandLine) {
    // Separators count anywhere, inside quoted arguments too. Neither '-' nor '/' can be the trail byte of
    // a double-byte character, so a byte walk finds the same separators a character walk does.
    for (char* p = commandLine; *p; ++p) {
        if ((*p == '-' || *p == '/') && startsWithOptionName(p + 1))
            return p;
    }
    return nullptr;
}

void RemoveOption(char* separator) {
    char* end = separator;
    while (*end && !isWhiteSpace(*end))
        ++end;
    while (*end && isWhiteSpace(*end))
        ++end;
    std::memmove(separator, end, std::strlen(end) + 1);
}

std::uint32_t UnderDebugger(std::uint32_t word) {
    word |= kToPipeline;
    if ((word & ~0xFFu) > 0x100u)
        word = (word & 0xFFu) | 0x100u;
    return word;
}

std::string LogFileName(const std::string& executable, std::size_t maxLength) {
    constexpr const char* kSuffix = ".log";
    if (executable.empty() || executable.size() + std::strlen(kSuffix) > maxLength)
        return std::string();
    return executable + kSuffix;
}

std::string RunningTime(std::int64_t ticks) {
    // Counted in 64 bits: runs of more than 24.8 days keep their true length.
    std::int64_t ms = ticks / 10000;
    const std::int64_t days = ms / 86400000;
    ms %= 86400000;
    const int hours = static_cast<int>(ms / 3600000);
    ms %= 3600000;
    const int minutes = static_cast<int>(ms / 60000);
    ms %= 60000;
    const int seconds = static_cast<int>(ms / 1000);
    const int milliseconds = static_cast<int>(ms % 1000);
    std::string text;
    if (days > 0)
        FormatString(text, "%lld Days %02d:%02d:%02d:%03d", static_cast<long long>(days), hours, minutes,
                     seconds, milliseconds);
    else
        FormatString(text, "%02d:%02d:%02d:%03d", hours, minutes, seconds, milliseconds);
    return text;
}

} // namespace logging_word
