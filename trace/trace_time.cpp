#include "trace_time.h"

#include <cstdio>

platform::LocalTime CurrentTraceTime() {
    return platform::localTime();
}

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix) {
    TraceTimeText result{};
    int length = std::snprintf(result.text, sizeof result.text,
                               asPrefix ? "%4d/%02d/%02d %02d:%02d:%02d - " : "%4d/%02d/%02d %02d:%02d:%02d",
                               time.year, time.month, time.day, time.hour, time.minute, time.second);
    result.length = length < 0 ? 0 : length;
    return result;
}
