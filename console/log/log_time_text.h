// The texts of the Date and Time manipulators, as pure functions of a local time.
#pragma once

#include "platform.h"

// "%s %d %s %d": weekday name, day of month, month name, year, such as "Tuesday 8 December 2026".
struct LogDateText {
    char text[64];
};
LogDateText FormatLogDate(const platform::LocalTime& time);

// "%02d:%02d:%02d:%03d": hours (0-23), minutes, seconds, milliseconds, such as "14:03:27:015".
struct LogTimeText {
    char text[13];
};
LogTimeText FormatLogTime(const platform::LocalTime& time);
