// Typed values as text: whatever parses formats back to the same value, and plain decimal text parses as
// the number it spells when that fits 32 bits, and not at all otherwise.
#include "fuzz_check.h"
#include "value_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

// The value of [+-]digits, when the text is exactly that and fits in 64 bits with room to spare.
bool plainDecimal(const std::string& text, long long& value) {
    std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    if (i == text.size() || text.size() - i > 15)
        return false;
    long long magnitude = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return false;
        magnitude = magnitude * 10 + (text[j] - '0');
    }
    value = i == 1 && text[0] == '-' ? -magnitude : magnitude;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int number = input.ConsumeIntegral<int>();
    const std::string text = input.ConsumeRemainingBytesAsString();

    FUZZ_REQUIRE(kitbag::parseInt32(kitbag::formatInt32(number)) == number);
    if (auto parsed = kitbag::parseInt32(text))
        FUZZ_REQUIRE(kitbag::parseInt32(kitbag::formatInt32(*parsed)) == parsed);
    if (auto parsed = kitbag::parseBool(text))
        FUZZ_REQUIRE(kitbag::parseBool(kitbag::formatBool(*parsed)) == parsed);

    long long decimal = 0;
    if (plainDecimal(text, decimal)) {
        const bool fits = decimal >= std::numeric_limits<std::int32_t>::min() &&
                          decimal <= std::numeric_limits<std::int32_t>::max();
        const auto parsed = kitbag::parseInt32(text);
        FUZZ_REQUIRE(parsed.has_value() == fits);
        if (fits)
            FUZZ_REQUIRE(*parsed == decimal);
    }
    return 0;
}
