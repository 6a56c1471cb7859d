// Local time as the program counts it: days since 1899-12-30 with the time of
// day as the fraction, the form every stored file date and "now" take.
#pragma once

#include <cstdint>

namespace kb {

// The current local date and time as a day count (millisecond resolution).
double LocalNowDays();

// A file time given as seconds since the Unix epoch (UTC), converted to local
// time and truncated to the two-second resolution file dates carry.
double FileTimeToLocalDays(std::int64_t unixSeconds);

// The wall clock as nanoseconds since the Unix epoch (UTC): the scale file
// modification times are compared on, free of time-zone and daylight-saving
// jumps.
std::int64_t WallClockNs();

// The day count of a civil local date and time (no time zone involved).
double EncodeDays(int year, int month, int day, int hour, int minute, int second, int millis = 0);

}  // namespace kb
