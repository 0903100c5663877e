// The local time as Trace writes it: "%4d/%02d/%02d %02d:%02d:%02d" and, as a prefix, " - " behind it.
#pragma once

#include "platform.h"

struct TraceTimeText {
    char text[32];
    int length;
};

// The clock of the library; tests of the trace files replace it (CTrace::SetClock).
platform::LocalTime CurrentTraceTime();

TraceTimeText FormatTraceTime(const platform::LocalTime& time, bool asPrefix);
