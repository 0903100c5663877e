// The hex dump of any bytes: one row per 16 bytes plus one, each with its offset, its bytes in hex (which
// decode back to the input) and as characters.
#include "fuzz_check.h"
#include "hex_dump.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

int hexValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 100000)
        return 0;
    const int length = static_cast<int>(size);
    std::string out = "untouched";
    const int result = TraceHexDump(out, data, length);
    if (length == 0) {
        FUZZ_REQUIRE(result == 0 && out == "untouched");
        return 0;
    }
    FUZZ_REQUIRE(result == length);
    FUZZ_REQUIRE(!out.empty() && out[0] == '\n');
    std::size_t at = 1;
    const std::size_t rows = size / 16 + 1;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t count = std::min<std::size_t>(16, size - row * 16);
        char offset[16];
        std::snprintf(offset, sizeof offset, "%08X: ", static_cast<unsigned>(row * 16));
        FUZZ_REQUIRE(out.compare(at, 10, offset) == 0);
        at += 10;
        for (std::size_t i = 0; i < 16; ++i, at += 3) {
            if (i < count) {
                const int high = hexValue(out[at]), low = hexValue(out[at + 1]);
                FUZZ_REQUIRE(high >= 0 && low >= 0 && out[at + 2] == ' ');
                FUZZ_REQUIRE(high * 16 + low == data[row * 16 + i]);
            } else {
                FUZZ_REQUIRE(out.compare(at, 3, "   ") == 0);
            }
        }
        FUZZ_REQUIRE(out.compare(at, 3, "   ") == 0);
        at += 3;
        for (std::size_t i = 0; i < count; ++i, ++at) {
            const std::uint8_t byte = data[row * 16 + i];
            FUZZ_REQUIRE(out[at] == (byte >= 32 && byte <= 128 ? static_cast<char>(byte) : '.'));
        }
        FUZZ_REQUIRE(out[at] == '\n');
        ++at;
    }
    FUZZ_REQUIRE(at == out.size());
    return 0;
}
