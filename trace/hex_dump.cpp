#include "hex_dump.h"

#include <cstdio>

int TraceHexDump(std::string& out, const unsigned char* data, int length) {
    if (!data || length < 1)
        return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    out = "\n";
    out.reserve(static_cast<std::size_t>(length / 16 + 1) * 79 + 1);
    for (int row = 0, remaining = length; remaining >= 0; ++row, remaining = length - row * 16) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "%08X: ", static_cast<unsigned>(row * 16));
        out += offset;
        const int count = remaining < 16 ? remaining : 16;
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
