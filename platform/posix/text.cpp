#include "platform.h"

#include <cstring>

namespace platform {

bool systemErrorText(long code, std::string& text) {
    // Only errno values have a text; strerrordesc_np answers null for any other number.
    if (code <= 0 || code > 4095)
        return false;
    const char* description = ::strerrordesc_np(static_cast<int>(code));
    if (!description)
        return false;
    text = description;
    return true;
}

std::string narrowFromUtf16(const unsigned short* text) {
    std::string result;
    for (; *text; ++text) {
        std::uint32_t code = *text;
        // A surrogate pair makes one code point; a lone surrogate becomes U+FFFD.
        if (code >= 0xD800 && code <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[1] - 0xDC00u);
            ++text;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            result += static_cast<char>(code);
        } else if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (code >> 18));
            result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return result;
}

} // namespace platform
