// How trace files are named and when their period ends: pure functions of their inputs, for any thread.
#pragma once

#include "platform.h"

#include <string>

constexpr int kRotateMonth = 0;
constexpr int kRotateDay = 1;
constexpr int kRotateHour = 2;
constexpr int kRotateSize = 3;

struct PeriodStamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
};

// The name of a file opened for a new id, or continued under a new period: base, the id as "%08x", then
// "_%04d%02d%02d%-02d-%02d-%02d.log" from the stamp's date and hour and the minute and second. The hour is
// left-aligned in two columns: hour 9 gives "9 " (file names of existing installations rely on it).
std::string PeriodFileName(const std::string& base, int id, const PeriodStamp& stamp, int minute, int second);
// The name of the file that replaces one grown past the size limit: base, "_", the id as "%08x", then
// "_%04d%02d%02d%02d%02d%02d.log".
std::string SizeLimitFileName(const std::string& base, int id, const PeriodStamp& stamp, int minute,
                              int second);
// Whether the local time lies in another period than the stamp, by rotation mode (sizes never do).
bool PeriodChanged(int rotateMode, const PeriodStamp& stamp, const platform::LocalTime& now);
