#include <gtest/gtest.h>

#include "platform/Clock.h"

TEST(ClockNames, EnglishNamesAndStamps) {
    EXPECT_STREQ(zns::MonthName(1), "January");
    EXPECT_STREQ(zns::MonthName(12), "December");
    EXPECT_STREQ(zns::MonthName(13), "");
    EXPECT_STREQ(zns::MonthAbbrev(9), "Sep");
    EXPECT_STREQ(zns::WeekdayName(0), "Sunday");
    EXPECT_STREQ(zns::WeekdayAbbrev(6), "Sat");
    EXPECT_STREQ(zns::WeekdayName(-1), "");

    zns::LocalTime t{2026, 12, 6, 9, 5, 3, 0, 0};
    EXPECT_EQ(zns::FormatTime("%d %B %Y", t), "06 December 2026");
    EXPECT_EQ(zns::FormatTime("%d/%b/%Y %H:%M:%S %A %%%j %q", t), "06/Dec/2026 09:05:03 Sunday %340 %q");
    EXPECT_EQ(zns::FormatTime("%I%p %y %e", t), "09AM 26  6");
    EXPECT_EQ(zns::FormatTime("trailing %", t), "trailing %");

    // The error log's stamp: asctime with a two-digit day, first 19 characters.
    zns::FakeClock clock;  // 2024-03-05 14:07:09, a Tuesday
    clock.Advance(60 * 1000);
    EXPECT_EQ(zns::AsctimeText(clock.NowLocal()), "Tue Mar 05 14:08:09 2024");
    EXPECT_EQ(zns::AsctimeText(clock.NowLocal()).substr(0, 19), "Tue Mar 05 14:08:09");
}
