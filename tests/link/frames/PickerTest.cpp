#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include "link/Picker.h"

namespace {

// A level whose threshold T = level x 64 + 24639 lies a little below `amplitude`
// above zero (within 64).
int LevelFor(int amplitude) { return (amplitude + 32768 - 24639) / 64; }

std::vector<int16_t> Trace(std::initializer_list<std::pair<int, int16_t>> points, int count) {
    std::vector<int16_t> t(static_cast<size_t>(count), 0);
    for (auto [i, v] : points) t[static_cast<size_t>(i)] = v;
    return t;
}

}  // namespace

TEST(Picker, RoundHalfAwayAndToInt) {
    EXPECT_EQ(RoundHalfAway(2.5), 3.0);
    EXPECT_EQ(RoundHalfAway(-2.5), -3.0);
    EXPECT_EQ(RoundHalfAway(2.4999), 2.0);
    EXPECT_EQ(RoundHalfAway(-0.4), 0.0);
    EXPECT_EQ(ToInt(-2.7), -2);
    EXPECT_EQ(ToInt(2.7), 2);
    EXPECT_EQ(ToInt(1e300), INT32_MAX);
    EXPECT_EQ(ToInt(-1e300), INT32_MIN);
    EXPECT_EQ(ToInt(std::nan("")), 0);
}

TEST(Picker, RisingThresholdPicksTheInterpolatedCrossingBeforeIt) {
    // Step 4: -100 at 96 µs, +300 at 100 µs; threshold below +300.
    auto t = Trace({{24, -100}, {25, 300}}, 128);
    const int level = LevelFor(200);
    ASSERT_GT(level * 64 + 24639, 32767);
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 50, 500, level), 97);
}

TEST(Picker, FallingThresholdPicksTheCrossingBeforeIt) {
    // +300 at 96 µs, -100 at 100 µs: zero at 96 + 4 x 300 / 400 = 99.
    auto t = Trace({{24, 300}, {25, -100}}, 128);
    const int level = 120;  // T = 32319: 449 below zero
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 50, 500, level), -1);  // -100 is not beyond it
    auto u = Trace({{24, 300}, {25, -500}}, 128);
    // zero at 96 + 4 x 300 / 800 = 97.5 -> 98 (half away from zero)
    EXPECT_EQ(PickFirstArrival(u.data(), 4, 128, 50, 500, level), 98);
}

TEST(Picker, InterpolationRoundsHalfAwayFromZero) {
    // -100 then +100: crossing half way, 96 + 2 = 98 exactly; -300 then +100: 96 + 3 = 99;
    // -1 then +1000 with step 8 (code 3 traces): 88 + 0.008 -> 88; -3 then +5 (below the
    // threshold) then +1000, step 4: the crossing 96 + 1.5 -> 98 is kept for the later sample.
    auto a = Trace({{24, -100}, {25, 100}}, 64);
    EXPECT_EQ(PickFirstArrival(a.data(), 4, 64, 50, 500, LevelFor(64)), 98);
    auto b = Trace({{24, -300}, {25, 100}}, 64);
    EXPECT_EQ(PickFirstArrival(b.data(), 4, 64, 50, 500, LevelFor(64)), 99);
    auto c = Trace({{11, -1}, {12, 1000}}, 64);
    EXPECT_EQ(PickFirstArrival(c.data(), 8, 64, 50, 500, LevelFor(64)), 88);  // 88 + 8 x 1 / 1001
    auto d = Trace({{24, -3}, {25, 5}, {26, 1000}}, 64);
    EXPECT_EQ(PickFirstArrival(d.data(), 4, 64, 50, 500, LevelFor(64)), 98);
}

TEST(Picker, NoCrossingGivesNone) {
    auto quiet = Trace({{30, 50}}, 256);
    // The window ends inside the trace: -1, which callers treat as none.
    EXPECT_EQ(PickFirstArrival(quiet.data(), 4, 256, 20, 400, LevelFor(200)), -1);
    // The window reaches past the trace: 65535.
    EXPECT_EQ(PickFirstArrival(quiet.data(), 4, 256, 20, 5000, LevelFor(200)), kNoPick);
    EXPECT_EQ(PickFirstArrival(nullptr, 4, 256, 20, 5000, LevelFor(200)), kNoPick);
    EXPECT_EQ(PickFirstArrival(quiet.data(), 4, 0, 20, 5000, LevelFor(200)), kNoPick);
}

TEST(Picker, WindowEdges) {
    auto t = Trace({{24, -100}, {25, 300}}, 128);  // crossing 97, beyond threshold at 100
    const int level = LevelFor(200);
    // The sample beyond the threshold must lie strictly inside the window.
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 50, 100, level), -1);
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 50, 101, level), 97);
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 100, 500, level), -1);
    // A crossing before the window start is dropped and the scan goes on to the next one.
    auto two = Trace({{24, -100}, {25, 300}, {26, -100}, {40, -100}, {41, 300}}, 128);
    EXPECT_EQ(PickFirstArrival(two.data(), 4, 128, 99, 500, level), 161);
    // Start exactly at the crossing keeps it.
    EXPECT_EQ(PickFirstArrival(t.data(), 4, 128, 97, 500, level), 97);
}

TEST(Picker, StepRulesAndSampleClamp) {
    auto t = Trace({{24, -100}, {25, 300}}, 128);
    const int level = LevelFor(200);
    EXPECT_EQ(PickFirstArrival(t.data(), 0, 128, 50, 500, level), 97);  // 0 -> 4
    EXPECT_EQ(PickFirstArrival(t.data(), 5, 128, 50, 500, level), 97);  // 5 -> 4
    EXPECT_EQ(PickFirstArrival(t.data(), 1, 128, 50, 500, level), 97);  // 1 -> 0 -> 4
    // -32768 is taken as -32767.
    auto c = Trace({{24, -32768}, {25, 32767}}, 64);
    EXPECT_EQ(PickFirstArrival(c.data(), 4, 64, 50, 500, LevelFor(200)), 98);
}

TEST(Picker, PickTravelTime) {
    AcquisitionSettings s;
    s.FA[1] = {200 / 64, 50, 500, 1};  // Rx2: threshold 3 -> T = 32767 + 192
    auto t = Trace({{24, -100}, {25, 300}}, 512);
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 2), 97);
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 1), kNoPick);  // pick off
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 0), kNoPick);
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 4), kNoPick);
    s.FA[1].EndWindow = 90;  // -1 from the picker becomes none
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 2), kNoPick);
    // Only byteCount / 2 samples are read.
    s.FA[1].EndWindow = 5000;
    EXPECT_EQ(PickTravelTime(s, t.data(), 48, 4, 2), kNoPick);
    // Threshold 3 is level 130, T = 130 x 64 + 24639 = 32959: 191 above zero picks,
    // 190 does not (pins the level offset and the scale of the threshold).
    auto on = Trace({{24, -100}, {25, 191}}, 512);
    auto below = Trace({{24, -100}, {25, 190}}, 512);
    EXPECT_EQ(PickTravelTime(s, on.data(), 1024, 4, 2), 97);
    EXPECT_EQ(PickTravelTime(s, below.data(), 1024, 4, 2), kNoPick);
    // A hand-edited threshold at INT_MAX must not overflow (UBSan guards this).
    s.FA[1].Threshold = std::numeric_limits<int>::max();
    EXPECT_EQ(PickTravelTime(s, t.data(), 1024, 4, 2), kNoPick);
}

TEST(Helpers, PumpMessagesRunsOnlyOnTheGuiThread) {
    int pumped = 0;
    SetMessagePump([&] { ++pumped; }, std::this_thread::get_id());
    PumpMessages();
    EXPECT_EQ(pumped, 1);
    std::thread([] { PumpMessages(); }).join();
    EXPECT_EQ(pumped, 1);
    SetMessagePump(nullptr, std::thread::id());
    PumpMessages();
    EXPECT_EQ(pumped, 1);
}

TEST(Helpers, LogExceptionWritesPlaceAndMessage) {
    std::string key, value;
    SetExceptionLogWriter([&](const std::string& k, const std::string& v) {
        key = k;
        value = v;
    });
    LogException("CGraphicCounterCtrl :: L283", std::runtime_error("bad value"));
    EXPECT_EQ(key, "CGraphicCounterCtrl :: L283");
    EXPECT_EQ(value, "bad value");
    LogException("X", std::runtime_error(std::string(400, 'a')));
    EXPECT_EQ(value.size(), 255u);
    SetExceptionLogWriter(nullptr);

    testing::internal::CaptureStderr();
    TraceException("CDephtDlg::PutDataOnScreen", "DephtDlg", 401);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Function: CDephtDlg::PutDataOnScreen\nFile: DephtDlg\nLine: 401\n");
}

TEST(Helpers, FileExists) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto path = dir / ("zns_file_exists_" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    EXPECT_FALSE(FileExists(path.string()));
    std::ofstream(path) << "x";
    EXPECT_TRUE(FileExists(path.string()));
    std::filesystem::remove(path);
    EXPECT_FALSE(FileExists(""));
}
