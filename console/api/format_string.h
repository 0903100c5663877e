// FormatString: printf-style formatting into a standard string, for texts of any length up to 32,768
// characters (the stack serves texts of up to 512). Longer output is replaced by an error line.
#pragma once

#include <cstdarg>
#include <string>

// The line stored instead of a text longer than kFormatStringLimit characters.
constexpr const char* kFormatTooBigMessage = "ERROR: Output of Format was to big to handle\n";
constexpr int kFormatStringLimit = 32768;

// Replaces out by the formatted text and returns its length, or -1 when it was too long and the error
// line was stored instead. With a null format, the current content of out is the format.
int FormatString(std::string& out, const char* format, ...);
int FormatStringV(std::string& out, const char* format, va_list arguments);

// Writes value as two digits, with a leading zero ("%02d" for 0 to 99), without the formatter: the time
// stamps of every line use it.
inline void PutTwoDigits(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}
