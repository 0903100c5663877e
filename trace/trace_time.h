// The local time as Trace writes it: "%4d/%02d/%02d %02d:%02d:%02d" and, as a prefix, " - " behind it.
// Pure functions of their input: any thread. The time itself comes from the clock (trace_seams.h, which
// builds on this file; time_prefix_cache.h builds on both).
#pragma once

#include "platform.h"

#include <cstdint>

struct TraceTimeText {
    char text[32];
    int length;
};

// The prefix's length: FormatTraceTime writes four digits of year and two of every other field.
constexpr int kTracePrefixLength = 22;

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix);

// An odd number for each time whose text has all its digits (year up to 9999, every other field up to
// 99), the same for two times exactly when their fields to the second are; 0 for any other time.
std::uint64_t TraceSecondKey(const platform::LocalTime& time);
