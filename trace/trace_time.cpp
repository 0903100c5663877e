#include "trace_time.h"

namespace {

void putDigits(char* out, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

// Seven bits a field, fourteen for the year, and the lowest bit set.
std::uint64_t TraceSecondKey(const platform::LocalTime& time) {
    // As unsigned values, negative fields are too large.
    const auto year = static_cast<unsigned>(time.year), month = static_cast<unsigned>(time.month),
               day = static_cast<unsigned>(time.day), hour = static_cast<unsigned>(time.hour),
               minute = static_cast<unsigned>(time.minute), second = static_cast<unsigned>(time.second);
    if ((year > 9999) | (month > 99) | (day > 99) | (hour > 99) | (minute > 99) | (second > 99))
        return 0;
    return static_cast<std::uint64_t>(year) << 36 | static_cast<std::uint64_t>(month) << 29 |
           static_cast<std::uint64_t>(day) << 22 | static_cast<std::uint64_t>(hour) << 15 |
           static_cast<std::uint64_t>(minute) << 8 | static_cast<std::uint64_t>(second) << 1 | 1;
}

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix) {
    // "%4d/%02d/%02d %02d:%02d:%02d" and " - ", written by hand: every message starts with it. Years have
    // four digits here.
    TraceTimeText result{"0000/00/00 00:00:00 - ", asPrefix ? kTracePrefixLength : 19};
    putDigits(result.text, time.year, 4);
    putDigits(result.text + 5, time.month, 2);
    putDigits(result.text + 8, time.day, 2);
    putDigits(result.text + 11, time.hour, 2);
    putDigits(result.text + 14, time.minute, 2);
    putDigits(result.text + 17, time.second, 2);
    result.text[result.length] = '\0';
    return result;
}
