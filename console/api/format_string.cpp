#include "api/format_string.h"

#include <cstdio>

namespace {

constexpr int kStackAttempt = 512;

} // namespace

int FormatStringV(std::string& out, const char* format, va_list arguments) {
    // The format may be out itself: keep it while out is replaced.
    std::string ownFormat;
    if (!format) {
        ownFormat = out;
        format = ownFormat.c_str();
    }
    char stackBuffer[kStackAttempt + 1];
    va_list attempt;
    va_copy(attempt, arguments);
    int length = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, attempt);
    va_end(attempt);
    if (length >= 0 && length <= kStackAttempt) {
        out.assign(stackBuffer, static_cast<std::size_t>(length));
        return length;
    }
    if (length < 0 || length > kFormatStringLimit) {
        out = kFormatTooBigMessage;
        return -1;
    }
    // The first attempt told the length: one heap attempt of exactly that size.
    std::string text(static_cast<std::size_t>(length), '\0');
    va_copy(attempt, arguments);
    std::vsnprintf(text.data(), text.size() + 1, format, attempt);
    va_end(attempt);
    out.swap(text);
    return length;
}

int FormatString(std::string& out, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = FormatStringV(out, format, arguments);
    va_end(arguments);
    return result;
}
