#include <sys/time.h>

#include <ctime>

#include "platform/localtime.h"

namespace kb {

namespace {

bool BreakDown(std::int64_t unixSeconds, std::tm& out) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    return localtime_r(&t, &out) != nullptr;
}

}  // namespace

double LocalNowDays() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    if (!BreakDown(tv.tv_sec, tm)) return 0.0;
    return EncodeDays(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

double FileTimeToLocalDays(std::int64_t unixSeconds) {
    std::tm tm{};
    if (!BreakDown(unixSeconds, tm)) return 0.0;
    // A leap second (tm_sec 60) still lands inside its minute.
    const int sec = tm.tm_sec > 59 ? 58 : tm.tm_sec & ~1;
    return EncodeDays(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, sec);
}

}  // namespace kb
