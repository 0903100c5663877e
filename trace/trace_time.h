// The local time as Trace writes it: "%4d/%02d/%02d %02d:%02d:%02d" and, as a prefix, " - " behind it.
// A pure function of its input: any thread. The time itself comes from the clock (trace_seams.h).
#pragma once

#include "platform.h"

struct TraceTimeText {
    char text[32];
    int length;
};

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix);
