// How trace files are named and when their period ends: pure functions of their inputs, for any thread.
#pragma once

#include "platform.h"

#include <bitset>
#include <cstddef>
#include <map>
#include <string>
#include <utility>

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

bool SamePeriod(const PeriodStamp& a, const PeriodStamp& b);

// A trace file's name by its parts: PeriodFileName or SizeLimitFileName of them.
struct TraceFileName {
    bool sizeLimit; // pattern B (SizeLimitFileName); else pattern A (PeriodFileName)
    std::string base;
    int id;
    PeriodStamp stamp;
    int minute;
    int second;

    std::string Path() const;
};

// The trace-file names one object opened under one period stamp. Names carry the time to the second
// only, and the stamp's hour need not be the clock's (the stamp is refreshed only at a change of period
// with files open, a size replacement or a new setting): a name comes back whenever the clock shows its
// minute and second again while the stamp stays, within the second or an hour or more later. So each
// series of names (base name, pattern, id) keeps one bit per second of the hour: a series costs the same
// however many of its files were opened. Names of an earlier stamp never come back (the stamp only moves
// forward with the clock) and are forgotten. Not synchronised.
class OpenedTraceFileNames {
public:
    // Forgets every name unless the stamp is the one of the names kept.
    void KeepOnlyStamp(const PeriodStamp& stamp);
    bool Contains(const TraceFileName& name) const;
    // May throw std::bad_alloc (nothing is added then).
    void Add(const TraceFileName& name);
    // The series kept: the records of the names, each of the same size.
    std::size_t Series() const;

private:
    static constexpr std::size_t kSecondsOfAnHour = 3600;
    using SecondsOpened = std::bitset<kSecondsOfAnHour>;
    using SeriesOfBase = std::map<std::pair<bool, int>, SecondsOpened>; // by pattern and id

    static std::size_t SecondOfHour(const TraceFileName& name);

    PeriodStamp m_stamp;
    std::map<std::string, SeriesOfBase> m_bases;
};
