// How typed values are written as text in the settings file and read back.
//
// Booleans: written "1" or "0"; read from 1, 0, true or false (any case).
// Integers (32-bit): written in decimal; read in decimal with an optional sign, or as 0x followed by at
// most eight significant hexadecimal digits, taken as the 32-bit pattern (0xFFFFFFFF is -1).
// Anything else, out-of-range numbers and trailing characters included, is not a value of the type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kitbag {

std::optional<bool> parseBool(std::string_view text);
std::optional<int> parseInt32(std::string_view text);
std::string formatBool(bool value);
std::string formatInt32(int value);

} // namespace kitbag
