// The program's own date and time formats.
#include "runtime/textformats.h"

#include <gtest/gtest.h>

namespace {

using namespace kb;

TEST(TextFormats, ShortDatesAreMonthDayYearWithoutLeadingZeros) {
    SetProcessTextFormats();
    EXPECT_EQ(ProcessTextFormats().DateSeparator, QLatin1Char('/'));
    EXPECT_EQ(FormatShortDate(QDate(2026, 3, 5)), "3/5/2026");
    EXPECT_EQ(FormatShortDate(QDate(1999, 12, 31)), "12/31/1999");
    EXPECT_EQ(ParseShortDate("3/5/2026"), QDate(2026, 3, 5));
    EXPECT_EQ(ParseShortDate(" 12/31/1999 "), QDate(1999, 12, 31));
    EXPECT_FALSE(ParseShortDate("31/12/1999").isValid());
    EXPECT_FALSE(ParseShortDate("2/30/2026").isValid());
    EXPECT_FALSE(ParseShortDate("").isValid());
}

TEST(TextFormats, LongTimesUseTheTwelveHourClockWithAmPmAttached) {
    const QString sep(ProcessTextFormats().TimeSeparator);
    EXPECT_EQ(FormatLongTime(QTime(13, 4, 5)), "01" + sep + "04" + sep + "05PM");
    EXPECT_EQ(FormatLongTime(QTime(0, 0, 0)), "12" + sep + "00" + sep + "00AM");
    EXPECT_EQ(FormatLongTime(QTime(11, 59, 59)), "11" + sep + "59" + sep + "59AM");
}

}  // namespace
