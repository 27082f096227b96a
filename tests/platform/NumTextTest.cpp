#include "platform/NumText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <thread>

#include "tests/platform/TestSupport.h"

using zns::Format;

namespace {

void ExpectFormatsWithPoint() {
    EXPECT_EQ(Format("%g", 0.123456789), "0.123457");
    EXPECT_EQ(Format("%g", 2.5), "2.5");
    EXPECT_EQ(Format("%g", 1e-7), "1e-07");
    EXPECT_EQ(Format("%f", 1.25), "1.250000");
    EXPECT_EQ(Format("%.3f", -0.0005), "-0.001");
    EXPECT_EQ(Format("%#.2f", 5.0), "5.00");
    EXPECT_EQ(Format("%#9.2f", 12.345), "    12.35");
    EXPECT_EQ(Format("%5.2f", 3.14159), " 3.14");
    EXPECT_EQ(Format("%02.0f", 5.4), "05");
    EXPECT_EQ(Format("%04d", 7), "0007");
    EXPECT_EQ(Format("%d;%s", -12, "abc"), "-12;abc");
}

}  // namespace

TEST(NumTextFormat, UsesPointInCLocale) { ExpectFormatsWithPoint(); }

TEST(NumTextFormat, UsesPointUnderDecimalCommaLocale) {
    zns::test::CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma available";
    char raw[16];
    std::snprintf(raw, sizeof raw, "%.1f", 2.5);
    ASSERT_STREQ(raw, "2,5");  // the global locale really is a comma locale
    ExpectFormatsWithPoint();
    // The global locale is left as it was.
    std::snprintf(raw, sizeof raw, "%.1f", 2.5);
    EXPECT_STREQ(raw, "2,5");
    // Readers are not swayed either.
    EXPECT_DOUBLE_EQ(zns::ParseDoubleDot("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(zns::ParseDoubleDot("2,5"), 2.0);
}

TEST(NumTextFormat, LongOutputIsWhole) {
    std::string big(1000, 'x');
    std::string s = Format("<%s|%.2f>", big.c_str(), 1.5);
    EXPECT_EQ(s, "<" + big + "|1.50>");
}

TEST(NumTextInt, LeadingNumberLikeAtoi) {
    EXPECT_EQ(zns::ParseInt("  -42abc"), -42);
    EXPECT_EQ(zns::ParseInt("\t+7"), 7);
    EXPECT_EQ(zns::ParseInt(""), 0);
    EXPECT_EQ(zns::ParseInt("abc"), 0);
    EXPECT_EQ(zns::ParseInt("- 5"), 0);
    EXPECT_EQ(zns::ParseInt("12.9"), 12);
    EXPECT_EQ(zns::ParseInt("0x1F"), 0);
}

TEST(NumTextInt, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(zns::ParseInt("2147483647"), INT_MAX);
    EXPECT_EQ(zns::ParseInt("-2147483648"), INT_MIN);
    EXPECT_EQ(zns::ParseInt("2147483648"), INT_MAX);
    EXPECT_EQ(zns::ParseInt("-2147483649"), INT_MIN);
    EXPECT_EQ(zns::ParseInt("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(zns::ParseInt("-99999999999999999999999999x"), INT_MIN);
}

TEST(NumTextInt, StrictTellsWholeText) {
    int v = -1;
    EXPECT_TRUE(zns::ParseIntStrict(" 12 ", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(zns::ParseIntStrict("-2147483648", v));
    EXPECT_EQ(v, INT_MIN);
    EXPECT_FALSE(zns::ParseIntStrict("12x", v));
    EXPECT_EQ(v, 12);
    EXPECT_FALSE(zns::ParseIntStrict("", v));
    EXPECT_FALSE(zns::ParseIntStrict("+", v));
    EXPECT_FALSE(zns::ParseIntStrict("1 2", v));
    EXPECT_FALSE(zns::ParseIntStrict("3000000000", v));
    EXPECT_EQ(v, INT_MAX);
}

TEST(NumTextDouble, AcceptsCommaOrPoint) {
    EXPECT_DOUBLE_EQ(zns::ParseDouble("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("  -3.25 m"), -3.25);
    EXPECT_DOUBLE_EQ(zns::ParseDouble(".5"), 0.5);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("5."), 5.0);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("1,5e3"), 1500.0);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("2e"), 2.0);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(zns::ParseDouble("."), 0.0);
    EXPECT_DOUBLE_EQ(zns::ParseDoubleDot("12,5"), 12.0);
}

TEST(NumTextDouble, RefusesInfNanHexAndSaturates) {
    EXPECT_EQ(zns::ParseDouble("inf"), 0.0);
    EXPECT_EQ(zns::ParseDouble("-INFINITY"), 0.0);
    EXPECT_EQ(zns::ParseDouble("nan"), 0.0);
    EXPECT_EQ(zns::ParseDouble("0x1p4"), 0.0);
    EXPECT_EQ(zns::ParseDouble("1e400"), DBL_MAX);
    EXPECT_EQ(zns::ParseDouble("-1e400"), -DBL_MAX);
    EXPECT_EQ(zns::ParseDouble("1e-400"), 0.0);
    double v = 1;
    EXPECT_FALSE(zns::ParseDoubleStrict("inf", v));
    EXPECT_FALSE(zns::ParseDoubleStrict("nan", v));
    EXPECT_FALSE(zns::ParseDoubleStrict("0x10", v));
    EXPECT_FALSE(zns::ParseDoubleStrict("1e400", v));
    EXPECT_FALSE(zns::ParseDoubleStrict("1.5 m", v));
    EXPECT_FALSE(zns::ParseDoubleStrict("", v));
    EXPECT_TRUE(zns::ParseDoubleStrict(" -0,25 ", v));
    EXPECT_DOUBLE_EQ(v, -0.25);
    EXPECT_TRUE(zns::ParseDoubleStrict("3E2", v));
    EXPECT_DOUBLE_EQ(v, 300.0);
}

TEST(NumTextFormat, ThreadsDoNotDisturbEachOther) {
    std::thread t([] {
        for (int i = 0; i < 2000; ++i) EXPECT_EQ(Format("%.1f", 0.5), "0.5");
    });
    for (int i = 0; i < 2000; ++i) EXPECT_EQ(zns::ParseDouble("1,5"), 1.5);
    t.join();
}
