#include "trace_file_names.h"

#include <cstdio>

namespace {

std::string formatted(const char* format, unsigned id, const PeriodStamp& stamp, int minute, int second) {
    char text[96];
    std::snprintf(text, sizeof text, format, id, stamp.year, stamp.month, stamp.day, stamp.hour, minute,
                  second);
    return text;
}

} // namespace

std::string PeriodFileName(const std::string& base, int id, const PeriodStamp& stamp, int minute,
                           int second) {
    return base +
           formatted("%08x_%04d%02d%02d%-2d-%02d-%02d.log", static_cast<unsigned>(id), stamp, minute, second);
}

std::string SizeLimitFileName(const std::string& base, int id, const PeriodStamp& stamp, int minute,
                              int second) {
    return base +
           formatted("_%08x_%04d%02d%02d%02d%02d%02d.log", static_cast<unsigned>(id), stamp, minute, second);
}

bool PeriodChanged(int rotateMode, const PeriodStamp& stamp, const platform::LocalTime& now) {
    const bool month = now.year != stamp.year || now.month != stamp.month;
    switch (rotateMode) {
    case kRotateMonth:
        return month;
    case kRotateDay:
        return month || now.day != stamp.day;
    case kRotateHour:
        return month || now.day != stamp.day || now.hour != stamp.hour;
    default:
        return false; // by size, or never
    }
}
