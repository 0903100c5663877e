#include "hex_dump.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

// The characters of one row: offset field, 16 hex columns, separator, up to 16 characters, line feed.
constexpr std::size_t kRowCharacters = 10 + 48 + 3 + 16 + 1;

} // namespace

int TraceHexDump(std::string& out, const unsigned char* data, int length) {
    return TraceHexDump(out, data, length, std::numeric_limits<std::size_t>::max());
}

int TraceHexDump(std::string& out, const unsigned char* data, int length, std::size_t maxCharacters) {
    if (!data || length < 1)
        return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    // Offsets in 64 bits: the row after the last byte of a block near 2 GB lies past the int range.
    const long long total = length;
    const std::size_t wanted =
        std::min(maxCharacters, std::numeric_limits<std::size_t>::max() - kRowCharacters - 1);
    const unsigned long long whole = static_cast<unsigned long long>(total / 16 + 1) * kRowCharacters + 1;
    out = "\n";
    out.reserve(static_cast<std::size_t>(std::min<unsigned long long>(whole, wanted + kRowCharacters + 1)));
    for (long long row = 0, remaining = total; remaining >= 0 && out.size() < wanted;
         ++row, remaining = total - row * 16) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "%08X: ", static_cast<unsigned>(row * 16));
        out += offset;
        const int count = remaining < 16 ? static_cast<int>(remaining) : 16;
        const unsigned char* bytes = data + row * 16;
        for (int i = 0; i < count; ++i) {
            out += kDigits[bytes[i] >> 4];
            out += kDigits[bytes[i] & 0xF];
            out += ' ';
        }
        out.append(static_cast<std::size_t>(16 - count) * 3, ' ');
        out += "   ";
        // 127 and 128 print as themselves: the range ends at 128, as dumps written so far show.
        for (int i = 0; i < count; ++i)
            out += bytes[i] >= 32 && bytes[i] <= 128 ? static_cast<char>(bytes[i]) : '.';
        out += '\n';
    }
    return length;
}
