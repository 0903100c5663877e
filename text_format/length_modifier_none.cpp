// The C runtime of Linux knows no length modifiers of its own that the libraries read.
#include "conversion_directive.h"

namespace text_format {

std::size_t platformLengthModifier(const char*, ArgumentType&) {
    return 0;
}

} // namespace text_format
