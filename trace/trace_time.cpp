#include "trace_time.h"

namespace {

void putDigits(char* out, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix) {
    // "%4d/%02d/%02d %02d:%02d:%02d" and " - ", written by hand: every message starts with it. Years have
    // four digits here.
    TraceTimeText result{"0000/00/00 00:00:00 - ", asPrefix ? 22 : 19};
    putDigits(result.text, time.year, 4);
    putDigits(result.text + 5, time.month, 2);
    putDigits(result.text + 8, time.day, 2);
    putDigits(result.text + 11, time.hour, 2);
    putDigits(result.text + 14, time.minute, 2);
    putDigits(result.text + 17, time.second, 2);
    result.text[result.length] = '\0';
    return result;
}
