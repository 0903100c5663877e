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

bool SamePeriod(const PeriodStamp& a, const PeriodStamp& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

std::string TraceFileName::Path() const {
    return sizeLimit ? SizeLimitFileName(base, id, stamp, minute, second)
                     : PeriodFileName(base, id, stamp, minute, second);
}

void OpenedTraceFileNames::KeepOnlyStamp(const PeriodStamp& stamp) {
    if (SamePeriod(stamp, m_stamp))
        return;
    m_bases.clear();
    m_stamp = stamp;
}

// Minutes and seconds outside the clock's range (a test's clock may show them) share the bits of those in
// it: such a name then counts as opened more often than it was, which only ever continues a file.
std::size_t OpenedTraceFileNames::SecondOfHour(const TraceFileName& name) {
    const long second = static_cast<long>(name.minute) * 60 + name.second;
    const long hour = static_cast<long>(kSecondsOfAnHour);
    return static_cast<std::size_t>((second % hour + hour) % hour);
}

bool OpenedTraceFileNames::Contains(const TraceFileName& name) const {
    if (!SamePeriod(name.stamp, m_stamp))
        return false;
    const auto base = m_bases.find(name.base);
    if (base == m_bases.end())
        return false;
    const auto series = base->second.find({name.sizeLimit, name.id});
    return series != base->second.end() && series->second.test(SecondOfHour(name));
}

void OpenedTraceFileNames::Add(const TraceFileName& name) {
    KeepOnlyStamp(name.stamp);
    m_bases[name.base][{name.sizeLimit, name.id}].set(SecondOfHour(name));
}

std::size_t OpenedTraceFileNames::Series() const {
    std::size_t series = 0;
    for (const auto& [base, ofBase] : m_bases)
        series += ofBase.size();
    return series;
}
