// The length modifiers of the Windows C runtimes: "I64" (64 bits), "I32" (32 bits), "I" (the size of a
// pointer).
#include "conversion_directive.h"

#include <cstring>

namespace text_format {

std::size_t platformLengthModifier(const char* at, ArgumentType& integerType) {
    if (at[0] != 'I')
        return 0;
    if (std::strncmp(at, "I64", 3) == 0) {
        integerType = ArgumentType::LongLong;
        return 3;
    }
    if (std::strncmp(at, "I32", 3) == 0) {
        integerType = ArgumentType::Int;
        return 3;
    }
    integerType = ArgumentType::Size;
    return 1;
}

} // namespace text_format
