// The logging word of CLog and the pure rules around it: parsing, the command-line option, the enabled
// test, the texts of the header and footer. No I/O, no globals.
#pragma once

#include <cstdint>
#include <string>

namespace logging_word {

constexpr std::uint32_t kDefault = 0x00000100; // threshold TRACE, no sink: logging off
constexpr std::uint32_t kToFile = 0x00000001;
constexpr std::uint32_t kToPipeline = 0x00000002;
constexpr std::uint32_t kToComErrorInfo = 0x00000004;
constexpr const char* kOptionName = "logging:";
constexpr const char* kEnvironmentVariable = "logging";

// Hexadecimal: leading white space and "0x" skipped, digits taken modulo 2^32 up to the first other
// character; no digit gives 0.
std::uint32_t ParseHex(const char* text);
// "%08X"
std::string FormatWord(std::uint32_t word);
// The separator ('-' or '/') of the first "logging:" option (any case) anywhere in the text, or null.
char* FindOption(char* commandLine);
// Removes the option starting at its separator, up to the first white space after it and the white space
// that follows; the rest of the line moves down.
void RemoveOption(char* separator);
// The option's word under a debugger: the pipeline bit set, and a threshold above TRACE (with any bits
// above it) replaced by TRACE.
std::uint32_t UnderDebugger(std::uint32_t word);
// (Logging is on, or the severity is USERALERT or above) and the severity reaches the threshold. Inline:
// every message, enabled or not, starts with it.
inline bool IsEnabled(std::uint32_t word, int severity) {
    if (severity < 0 || severity > 7)
        return false;
    const bool loggingOn = (word & 0xFFu) != 0;
    const int threshold = static_cast<int>((word >> 8) & 0xFFu);
    return (loggingOn || severity >= 6) && severity >= threshold;
}
// The log file of an executable: its whole path with ".log" appended, or "" (file output off) when the
// executable is unknown or the name would not fit maxLength characters.
std::string LogFileName(const std::string& executable, std::size_t maxLength);
// "%d Days %02d:%02d:%02d:%03d", or without days when under one day, from 100-nanosecond units.
std::string RunningTime(std::int64_t ticks);

} // namespace logging_word
