#include "platform/localtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

#ifndef _WIN32  // time zones chosen through TZ, as the C library reads it here
// Runs `body` with the process time zone set to `tz`, then restores it.
template <typename F>
void WithTimeZone(const char* tz, F body) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", tz, 1);
    ::tzset();
    body();
    if (old) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

#endif

TEST(LocalTime, DayCountsStartAt1899_12_30) {
    EXPECT_DOUBLE_EQ(kb::EncodeDays(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(kb::EncodeDays(1900, 1, 1, 18, 0, 0), 2.75);
    EXPECT_DOUBLE_EQ(kb::EncodeDays(2000, 3, 1, 0, 0, 0), 36586.0);
    EXPECT_DOUBLE_EQ(kb::EncodeDays(1970, 1, 1, 12, 0, 0), 25569.5);
}

#ifndef _WIN32
TEST(LocalTime, FileTimesBecomeLocalTimeInTwoSecondSteps) {
    // 1700000001 is 2023-11-14 22:13:21 UTC.
    WithTimeZone("UTC0", [] {
        EXPECT_DOUBLE_EQ(kb::FileTimeToLocalDays(1700000001),
                         kb::EncodeDays(2023, 11, 14, 22, 13, 20));
    });
    WithTimeZone("CET-1CEST,M3.5.0,M10.5.0/3", [] {
        EXPECT_DOUBLE_EQ(kb::FileTimeToLocalDays(1700000001),
                         kb::EncodeDays(2023, 11, 14, 23, 13, 20));
        // Summer time: two hours ahead.
        EXPECT_DOUBLE_EQ(kb::FileTimeToLocalDays(1690000000),
                         kb::EncodeDays(2023, 7, 22, 6, 26, 40));
    });
}

#endif

}  // namespace
