#include <chrono>

#include "platform/localtime.h"

namespace kb {

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's
// algorithm), valid for every year an int holds.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::int64_t WallClockNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

double EncodeDays(int year, int month, int day, int hour, int minute, int second, int millis) {
    // 1899-12-30 is 25569 days before the Unix epoch.
    const double days = static_cast<double>(DaysFromCivil(year, month, day) + 25569);
    const double frac =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millis) / 86400000.0;
    return days + frac;
}

}  // namespace kb
