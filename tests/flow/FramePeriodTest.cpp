// The frame period and the logging-speed limit it allows.
#include <gtest/gtest.h>

#include "link/FramePeriod.h"

namespace {

AcquisitionSettings Settings(int divisor, int c1, int c2, int c3) {
    AcquisitionSettings s;
    s.BaudDivisor = divisor;
    s.ZNSModus_Rx1 = c1;
    s.ZNSModus_Rx2 = c2;
    s.ZNSModus_Rx3 = c3;
    s.DepthInterval = 10;
    s.TimeInterval = 500;
    return s;
}

TEST(FramePeriod, FloorOfTheLinkTimeAndTheSpeedItAllows) {
    int period = 0;
    double speed = 0.0;
    std::string label = "unchanged";

    // 3085 bytes at 15625 bytes/s: 213.44 ms, floored to 250; the speed comes
    // from the real period, not the floor.
    zns::ComputeFramePeriod(Settings(4, 2, 2, 2), &period, &label, &speed, true);
    EXPECT_EQ(period, 250);
    EXPECT_EQ(label, "156250");
    EXPECT_NEAR(speed, 10 * 600 / 213.44, 1e-9);
    EXPECT_NEAR(speed, 28.11, 0.005);

    // 525 bytes at 3125 bytes/s: 184 ms -> 250.
    zns::ComputeFramePeriod(Settings(20, 1, 0, 0), &period, &label, nullptr, true);
    EXPECT_EQ(period, 250);
    EXPECT_EQ(label, "31250");

    // Above the floor the period is truncated: 3085 / 3125 s + 16 ms = 1003.2 ms.
    zns::ComputeFramePeriod(Settings(20, 3, 2, 2), &period, nullptr, nullptr, true);
    EXPECT_EQ(period, 1003);

    // A divisor the logger does not know leaves the label and still gives a period.
    label = "unchanged";
    zns::ComputeFramePeriod(Settings(11, 1, 1, 1), &period, &label, nullptr, true);
    EXPECT_EQ(label, "unchanged");
    EXPECT_EQ(period, static_cast<int>(1549 / (625000.0 / 11 / 10) * 1000 + 16));

    // From the time interval instead; none gives no speed.
    AcquisitionSettings s = Settings(4, 2, 2, 2);
    zns::ComputeFramePeriod(s, nullptr, nullptr, &speed, false);
    EXPECT_DOUBLE_EQ(speed, 10 * 600 / 500.0);
    s.TimeInterval = 0;
    zns::ComputeFramePeriod(s, nullptr, nullptr, &speed, false);
    EXPECT_EQ(speed, 0.0);

    // No divisor: the floor, and no speed rather than a division by zero.
    zns::ComputeFramePeriod(Settings(0, 2, 2, 2), &period, nullptr, &speed, true);
    EXPECT_EQ(period, 250);
    EXPECT_EQ(speed, 0.0);
}

}  // namespace
