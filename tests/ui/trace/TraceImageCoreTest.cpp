// Pixel tests of the trace image on its plain 0xFFRRGGBB buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "ui/controls/TraceImageCore.h"

using namespace zns;

namespace {

// Picker stub: returns a set time and records what it was asked.
struct PickCall {
    int step, count, start, end, level;
};
int g_pickResult = 65535;
std::vector<PickCall> g_picks;
int StubPicker(const int16_t*, int step, int count, int start, int end, int level) {
    g_picks.push_back({step, count, start, end, level});
    return g_pickResult;
}

// Label stub: fills the text box (8 x 12 per character, 7 x 14 for the big font).
struct FakeLabels : ITraceLabelRenderer {
    struct Drawn {
        std::string text;
        bool big;
        int y;
        uint32_t colour;
    };
    std::vector<Drawn> drawn;
    bool MeasureText(const std::string& text, bool big, int& w, int& h) override {
        w = static_cast<int>(text.size()) * (big ? 7 : 8);
        h = big ? 14 : 12;
        return true;
    }
    bool DrawText(uint32_t* px, int width, int rows, int xc, int y, const std::string& text, bool big,
                  uint32_t colour, uint32_t) override {
        int w = 0, h = 0;
        MeasureText(text, big, w, h);
        for (int r = y; r < y + h; ++r)
            for (int x = xc - w / 2; x < xc - w / 2 + w; ++x)
                if (r >= 0 && r < rows && x >= 0 && x < width) px[r * width + x] = colour;
        drawn.push_back({text, big, y, colour});
        return true;
    }
};

class TraceCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_pickResult = 65535;
        g_picks.clear();
        core.SetPicker(&StubPicker);
        for (int i = 0; i < 512; ++i) {
            rx1[i] = static_cast<int16_t>(i * 64 - 16384);
            rx2[i] = static_cast<int16_t>(16384 - i * 64);
            rx3[i] = static_cast<int16_t>((i % 2) ? 12800 : -12800);
        }
    }

    // A depth record; depth given in whole cm (half a cm added so that the
    // metre value truncates back to that cm).
    TraceRecord Rec(int depthCm, int mode = 11, int scale = 100, int interval = 2, int count = 512) {
        TraceRecord r;
        r.rx[0] = rx1;
        r.rx[1] = rx2;
        r.rx[2] = rx3;
        r.count[0] = r.count[1] = r.count[2] = count;
        r.code[0] = r.code[1] = r.code[2] = count == 256 ? 1 : 2;
        r.depthM = (depthCm + (depthCm < 0 ? -0.5 : 0.5)) / 100.0;
        r.mode = mode;
        r.scale = scale;
        r.interval = interval;
        r.leftView = 1;
        r.rightView = 3;
        return r;
    }

    TraceImageCore core;
    TraceRowSettings rs;
    int16_t rx1[512], rx2[512], rx3[512];
};

bool RowIsBlank(const TraceImageCore& c, int row) {
    for (int x = 0; x < kTraceImageWidth; ++x) {
        const uint32_t want = (x >= kTraceColumnX && x < kTraceRightX) ? c.BtnFace() : kTraceTrackBackground;
        if (c.Pixel(x, row) != want) return false;
    }
    return true;
}

}  // namespace

TEST_F(TraceCoreTest, PaletteColoursPerAmplitude) {
    // Grey: index = trunc(clamp(s x gain / 256) + 128).
    EXPECT_EQ(core.AmplitudeToColor(0, 1, 0), 0xFF808080u);
    EXPECT_EQ(core.AmplitudeToColor(32767, 1, 0), 0xFFFFFFFFu);  // clamped to 127 -> 255
    EXPECT_EQ(core.AmplitudeToColor(-32768, 1, 0), 0xFF010101u);  // clamped to -127 -> 1
    EXPECT_EQ(core.AmplitudeToColor(-100, 1, 0), 0xFF7F7F7Fu);    // 127.6 truncates to 127
    EXPECT_EQ(core.AmplitudeToColor(256, 64, 0), 0xFFC0C0C0u);    // display gain 64: 64 + 128
    EXPECT_EQ(core.AmplitudeToColor(0, 1, 7), 0xFF808080u);       // unknown palette is grey

    // Blue - white - red.
    EXPECT_EQ(core.AmplitudeToColor(-32768, 1, 1), 0xFF0202FFu);  // 1 x 255/127 = 2.007
    EXPECT_EQ(core.AmplitudeToColor(0, 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(core.AmplitudeToColor(256, 64, 1), 0xFFFF7E7Eu);    // 255 - 64 x 255/127 = 126.5
    EXPECT_EQ(core.AmplitudeToColor(32767, 1, 1), 0xFFFF0000u);

    // Rainbow: magenta - blue - cyan - white - green - yellow - red.
    EXPECT_EQ(core.AmplitudeToColor(-32768, 1, 2), 0xFFF800FFu);  // 255 - 255/42 = 248.9
    EXPECT_EQ(core.PaletteColor(42, 2), 0xFF0000FFu);
    EXPECT_EQ(core.PaletteColor(64, 2), 0xFF0082FFu);  // 22 x 255/43 = 130.5
    EXPECT_EQ(core.PaletteColor(85, 2), 0xFF00FFFFu);
    EXPECT_EQ(core.PaletteColor(128, 2), 0xFFFFFFFFu);
    EXPECT_EQ(core.PaletteColor(169, 2), 0xFF00FF00u);
    EXPECT_EQ(core.PaletteColor(211, 2), 0xFFFFFF00u);
    EXPECT_EQ(core.PaletteColor(255, 2), 0xFFFF0000u);
}

TEST_F(TraceCoreTest, ClearedImageHasTrackAndColumnBackgrounds) {
    EXPECT_EQ(core.WindowTopRow(), 32);
    EXPECT_EQ(core.LastLabelledDepth(), kTraceNoLabel);
    for (int row : {0, 31, 32, 1211, 2327, 3507, 3539}) EXPECT_TRUE(RowIsBlank(core, row)) << row;
    EXPECT_EQ(core.Pixel(383, 10), 0xFFF9F4E7u);
    EXPECT_EQ(core.Pixel(384, 10), kTraceBtnFace);
    EXPECT_EQ(core.Pixel(427, 10), kTraceBtnFace);
    EXPECT_EQ(core.Pixel(428, 10), 0xFFF9F4E7u);
}

TEST_F(TraceCoreTest, TracksAreResampledTo384PixelsWithMeans) {
    // Left 512 samples (Rx1), right 256 samples (Rx3): left view 1, right view 3.
    TraceRecord r = Rec(1000);
    r.count[2] = 256;
    r.code[2] = 1;
    rs.palette = 0;
    ASSERT_EQ(core.AddRecord(r, rs), 1);
    const int row = 1212;
    // 512: s0, s1, (s2 + s3) / 2, s4 ...
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(core.Pixel(3 * k, row), core.AmplitudeToColor(rx1[4 * k], 1, 0));
        ASSERT_EQ(core.Pixel(3 * k + 1, row), core.AmplitudeToColor(rx1[4 * k + 1], 1, 0));
        ASSERT_EQ(core.Pixel(3 * k + 2, row), core.AmplitudeToColor((rx1[4 * k + 2] + rx1[4 * k + 3]) / 2.0, 1, 0));
    }
    // 256: s0, (s0 + s1) / 2, s1, s2 ...
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(core.Pixel(428 + 3 * k, row), core.AmplitudeToColor(rx3[2 * k], 1, 0));
        ASSERT_EQ(core.Pixel(429 + 3 * k, row), core.AmplitudeToColor((rx3[2 * k] + rx3[2 * k + 1]) / 2.0, 1, 0));
        ASSERT_EQ(core.Pixel(430 + 3 * k, row), core.AmplitudeToColor(rx3[2 * k + 1], 1, 0));
    }
    // The depth column between the tracks keeps its own colour.
    EXPECT_EQ(core.Pixel(400, row), kTraceBtnFace);
}

TEST_F(TraceCoreTest, DisplayGainAndPaletteFollowTheViews) {
    TraceRecord r = Rec(1000);
    r.leftView = 2;   // Rx2 on the left
    r.rightView = 2;  // and on the right
    rs.displayGain[1] = 4;
    rs.palette = 1;
    core.AddRecord(r, rs);
    EXPECT_EQ(core.Pixel(0, 1212), core.AmplitudeToColor(rx2[0], 4, 1));
    EXPECT_EQ(core.Pixel(428, 1212), core.AmplitudeToColor(rx2[0], 4, 1));
    EXPECT_NE(core.Pixel(0, 1212), core.AmplitudeToColor(rx2[0], 1, 1));

    // Left 2 with right 0: nothing on the right.
    r.rightView = 0;
    core.AddRecord(r, rs);
    EXPECT_EQ(core.Pixel(0, 1213), core.AmplitudeToColor(rx2[0], 4, 1));
    for (int x = 428; x < 812; ++x) ASSERT_EQ(core.Pixel(x, 1213), kTraceTrackBackground);
}

TEST_F(TraceCoreTest, OddSampleCountsPaintWhite) {
    TraceRecord r = Rec(1000);
    r.count[0] = 300;
    r.count[2] = 1000;
    core.AddRecord(r, rs);
    for (int x = 0; x < 300; ++x) ASSERT_EQ(core.Pixel(x, 1212), kTraceWhite) << x;
    for (int x = 300; x < 384; ++x) ASSERT_EQ(core.Pixel(x, 1212), kTraceTrackBackground) << x;
    for (int x = 428; x < 812; ++x) ASSERT_EQ(core.Pixel(x, 1212), kTraceWhite) << x;
}

TEST_F(TraceCoreTest, BadTraceCodeOrViewDrawsNothing) {
    TraceRecord r = Rec(1000);
    r.code[1] = 4;
    EXPECT_EQ(core.AddRecord(r, rs), 0);
    EXPECT_EQ(core.WindowTopRow(), 32);
    EXPECT_TRUE(RowIsBlank(core, 1212));

    r = Rec(1000);
    r.leftView = 3;  // not a left view
    EXPECT_EQ(core.AddRecord(r, rs), 0);
    EXPECT_EQ(core.WindowTopRow(), 32);
    r.leftView = 1;
    r.rightView = 1;  // not a right view
    EXPECT_EQ(core.AddRecord(r, rs), 0);
    EXPECT_TRUE(RowIsBlank(core, 1212));
}

TEST_F(TraceCoreTest, FirstArrivalMarks) {
    core.BuildPalettes(0x000000FF, 0x00FF0000);  // COLORREF red left, blue right
    rs.fa[0] = {20, 100, 1500, 1};
    rs.fa[2] = {-30, 200, 900, 1};
    TraceRecord r = Rec(1000);
    r.count[2] = 256;
    r.code[2] = 1;
    g_pickResult = 1000;
    core.AddRecord(r, rs);
    // Left: 512 samples at 4 µs, x = trunc(384 / 2048 x 1000) = 187.
    EXPECT_EQ(core.Pixel(187, 1212), 0xFFFF0000u);
    EXPECT_EQ(core.Pixel(188, 1212), 0xFFFF0000u);
    EXPECT_NE(core.Pixel(189, 1212), 0xFFFF0000u);
    // Right: 256 samples at 4 µs, x = trunc(384 / 1024 x 1000) = 375.
    EXPECT_EQ(core.Pixel(428 + 375, 1212), 0xFF0000FFu);
    EXPECT_EQ(core.Pixel(428 + 376, 1212), 0xFF0000FFu);
    // The picker got each receiver's window and level (threshold + 127).
    ASSERT_EQ(g_picks.size(), 2u);
    EXPECT_EQ(g_picks[0].step, 4);
    EXPECT_EQ(g_picks[0].count, 512);
    EXPECT_EQ(g_picks[0].start, 100);
    EXPECT_EQ(g_picks[0].end, 1500);
    EXPECT_EQ(g_picks[0].level, 147);
    EXPECT_EQ(g_picks[1].count, 256);
    EXPECT_EQ(g_picks[1].level, 97);

    // Code 3 is 8 µs: x = trunc(384 / 4096 x 1000) = 93.
    r.code[0] = 3;
    core.AddRecord(r, rs);
    EXPECT_EQ(core.Pixel(93, 1213), 0xFFFF0000u);
    EXPECT_EQ(g_picks[2].step, 8);
}

TEST_F(TraceCoreTest, FirstArrivalMarkOnlyForARealPickAndInsideItsTrack) {
    core.BuildPalettes(0x000000FF, 0x000000FF);
    rs.fa[0] = {0, 0, 5000, 1};
    rs.fa[2] = {0, 0, 5000, 1};
    TraceRecord r = Rec(1000);

    g_pickResult = 65535;  // no pick
    core.AddRecord(r, rs);
    for (int x = 0; x < 812; ++x) ASSERT_NE(core.Pixel(x, 1212), 0xFFFF0000u) << x;

    g_pickResult = 2047;  // x = 383.8: kept at 382, 383
    core.AddRecord(r, rs);
    EXPECT_EQ(core.Pixel(382, 1213), 0xFFFF0000u);
    EXPECT_EQ(core.Pixel(383, 1213), 0xFFFF0000u);
    EXPECT_EQ(core.Pixel(384, 1213), kTraceBtnFace);
    EXPECT_EQ(core.Pixel(810, 1213), 0xFFFF0000u);
    EXPECT_EQ(core.Pixel(811, 1213), 0xFFFF0000u);
    EXPECT_NE(core.Pixel(0, 1214), 0xFFFF0000u);  // nothing spilt into the next row

    g_pickResult = -1;  // scan ended without a pick
    core.AddRecord(r, rs);
    for (int x = 0; x < 812; ++x) ASSERT_NE(core.Pixel(x, 1214), 0xFFFF0000u) << x;

    // Use flag off: the picker is not even asked.
    rs.fa[0].use = rs.fa[2].use = 0;
    g_picks.clear();
    g_pickResult = 1000;
    core.AddRecord(r, rs);
    EXPECT_TRUE(g_picks.empty());
}

TEST_F(TraceCoreTest, RowsPerRecordAndDecimation) {
    auto rowsOf = [&](int scale, int interval, int records, int mode = 11) {
        TraceImageCore c;
        int rows = 0;
        for (int i = 0; i < records; ++i) rows += c.AddRecord(Rec(1000 + 2 * i, mode, scale, interval), rs);
        return rows;
    };
    EXPECT_EQ(rowsOf(25, 2, 1), 4);
    EXPECT_EQ(rowsOf(25, 20, 1), 40);
    EXPECT_EQ(rowsOf(50, 5, 1), 5);
    EXPECT_EQ(rowsOf(100, 10, 1), 5);
    EXPECT_EQ(rowsOf(200, 20, 1), 4);
    EXPECT_EQ(rowsOf(500, 10, 1), 1);
    EXPECT_EQ(rowsOf(1000, 5, 1), 10);  // unknown scale: 1/25
    EXPECT_EQ(rowsOf(25, 7, 1), 4);     // unknown interval: 2 cm
    // 1/200 at 2 cm: four rows of ten records; 1/500: two.
    EXPECT_EQ(rowsOf(200, 2, 10), 4);
    EXPECT_EQ(rowsOf(500, 2, 10), 2);
    EXPECT_EQ(rowsOf(200, 2, 10, 10), 4);
    // 5 cm at 1/100: 2 and 3 rows in turn; at 1/500: 0 and 1.
    EXPECT_EQ(rowsOf(100, 5, 1), 2);
    EXPECT_EQ(rowsOf(100, 5, 2), 5);
    EXPECT_EQ(rowsOf(500, 5, 2), 1);
    EXPECT_EQ(rowsOf(500, 5, 10), 5);
    // Time mode: always 9 rows, upwards.
    EXPECT_EQ(rowsOf(500, 2, 1, 12), 9);
    EXPECT_EQ(rowsOf(200, 20, 3, 12), 27);

    // Which records of ten give the row at 1/200, 2 cm: the 3rd, 5th, 8th, 10th.
    TraceImageCore c;
    std::vector<int> drawn;
    for (int i = 1; i <= 10; ++i)
        if (c.AddRecord(Rec(1000 + 2 * i, 11, 200, 2), rs)) drawn.push_back(i);
    EXPECT_EQ(drawn, (std::vector<int>{3, 5, 8, 10}));
}

TEST_F(TraceCoreTest, WindowSlidesDownwards) {
    // The newest row is the last of the window; the window moves back to 32
    // on the 2297th row and nothing that was shown moves on screen.
    for (int i = 1; i <= 2296; ++i) {
        ASSERT_EQ(core.WindowTopRow(), 31 + i);
        rs.palette = i % 3;
        core.AddRecord(Rec(1000 + 2 * i, 11, 100, 2), rs);  // one row per record
        ASSERT_EQ(core.LastDrawnRow(), 1211 + i);
    }
    EXPECT_EQ(core.WindowTopRow(), 2328);
    EXPECT_EQ(core.SourceTopRow(1180), 2328);
    std::vector<uint32_t> before(core.Pixels() + 2329 * 812, core.Pixels() + 3508 * 812);

    core.AddRecord(Rec(1000 + 2 * 2297, 11, 100, 2), rs);
    EXPECT_EQ(core.LastDrawnRow(), 1212);
    EXPECT_EQ(core.WindowTopRow(), 33);
    std::vector<uint32_t> after(core.Pixels() + 33 * 812, core.Pixels() + 1212 * 812);
    EXPECT_TRUE(before == after);
}

TEST_F(TraceCoreTest, WindowSlidesUpwards) {
    TraceRecord r = Rec(1000, 10, 100, 2);
    core.AddRecord(r, rs);  // first row after a clear moves the window at once
    EXPECT_EQ(core.LastDrawnRow(), 2327);
    EXPECT_EQ(core.WindowTopRow(), 2327);
    for (int i = 2; i <= 2296; ++i) {
        rs.palette = i % 3;
        core.AddRecord(r, rs);
    }
    EXPECT_EQ(core.WindowTopRow(), 32);
    std::vector<uint32_t> before(core.Pixels() + 32 * 812, core.Pixels() + (32 + 1179) * 812);
    core.AddRecord(r, rs);
    EXPECT_EQ(core.LastDrawnRow(), 2327);
    EXPECT_EQ(core.WindowTopRow(), 2327);
    std::vector<uint32_t> after(core.Pixels() + 2328 * 812, core.Pixels() + (2328 + 1179) * 812);
    EXPECT_TRUE(before == after);
    EXPECT_EQ(core.SourceTopRow(500), 2327);  // up: the newest row on top

    // Time mode also runs upwards.
    TraceImageCore t;
    t.AddRecord(Rec(0, 12), rs);
    EXPECT_EQ(t.LastDrawnRow(), 2328 - 9);
    EXPECT_FALSE(t.IsDown());
}

TEST_F(TraceCoreTest, TicksAndLabelsAtOneHundred) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    // Down from 9.00 m in steps of 2 cm, one row per record.
    std::vector<int> rowOf;
    for (int cm = 900; cm <= 1120; cm += 2) {
        core.AddRecord(Rec(cm, 11, 100, 2), rs);
        rowOf.push_back(core.LastDrawnRow());
    }
    auto rowAt = [&](int cm) { return rowOf[(cm - 900) / 2]; };
    auto black = [&](int row, int x) { return core.Pixel(kTraceColumnX + x, row) == kTraceBlack; };
    // 10 cm: tick of 4 at both edges (pixels 2..3 and 40..41).
    EXPECT_TRUE(black(rowAt(910), 2) && black(rowAt(910), 3) && black(rowAt(910), 40) && black(rowAt(910), 41));
    EXPECT_FALSE(black(rowAt(910), 4) || black(rowAt(910), 39) || black(rowAt(910), 1) || black(rowAt(910), 42));
    // 50 cm: tick of 6 (2..5 and 38..41).
    EXPECT_TRUE(black(rowAt(950), 5) && black(rowAt(950), 38));
    EXPECT_FALSE(black(rowAt(950), 6));
    // Rows between ticks are plain.
    EXPECT_FALSE(black(rowAt(904), 2));
    // Labels every metre, black, text without the last two digits.
    ASSERT_EQ(labels.drawn.size(), 2u);
    EXPECT_EQ(labels.drawn[0].text, "10");
    EXPECT_EQ(labels.drawn[1].text, "11");
    EXPECT_EQ(labels.drawn[0].colour, kTraceBlack);
    EXPECT_FALSE(labels.drawn[0].big);
    // Stock font: measured 12 high -> 11, y = row - 11 / 2.
    EXPECT_EQ(labels.drawn[0].y, rowAt(1000) - 5);
}

TEST_F(TraceCoreTest, LabelGuardKeepsTheLowerHalfOfTheLabel) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    for (int cm = 980; cm <= 1020; cm += 2) core.AddRecord(Rec(cm, 11, 100, 2), rs);
    ASSERT_EQ(labels.drawn.size(), 1u);
    // Label "10": 16 x 12 box, measured minus one: 15 x 11; guard 5 rows then 4
    // after the label row; margin (44 - 15) / 2 = 14. The box spans x 398..413.
    const int row = labels.drawn[0].y + 5;
    for (int r = row + 1; r <= row + 4; ++r) EXPECT_EQ(core.Pixel(kTraceColumnCentre, r), kTraceBlack) << r;
    EXPECT_EQ(core.Pixel(kTraceColumnCentre, row + 5), kTraceBtnFace);
    EXPECT_EQ(core.Pixel(kTraceColumnX + 13, row + 1), kTraceBtnFace);
}

TEST_F(TraceCoreTest, NegativeDepthLabelsAreRed) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    for (int cm = -120; cm <= 20; cm += 2) core.AddRecord(Rec(cm, 11, 100, 2), rs);
    ASSERT_EQ(labels.drawn.size(), 2u);
    EXPECT_EQ(labels.drawn[0].text, "-1");
    EXPECT_EQ(labels.drawn[0].colour, kTraceRed);
    EXPECT_EQ(labels.drawn[1].text, "0");
    EXPECT_EQ(labels.drawn[1].colour, kTraceBlack);

    // Long labels go to the "Courier New" font, drawn one row higher.
    TraceImageCore deep;
    deep.SetLabelRenderer(&labels);
    labels.drawn.clear();
    for (int cm = 99980; cm <= 100010; cm += 2) deep.AddRecord(Rec(cm, 11, 100, 2), rs);
    ASSERT_EQ(labels.drawn.size(), 1u);
    EXPECT_EQ(labels.drawn[0].text, "1000");
    EXPECT_TRUE(labels.drawn[0].big);
    EXPECT_EQ(labels.drawn[0].y, deep.LastDrawnRow() - 5 - 6 - 1);  // row 5 rows back, - 13 / 2 - 1
}

TEST_F(TraceCoreTest, NoLabelTextInTheFirstFiveRowsAfterAClear) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    // Upwards from 10.04 m: 10.00 m is the third row.
    for (int cm = 1004; cm >= 990; cm -= 2) core.AddRecord(Rec(cm, 10, 100, 2), rs);
    EXPECT_TRUE(labels.drawn.empty());
    // The first row after a clear examines its own depth.
    TraceImageCore c;
    c.SetLabelRenderer(&labels);
    c.AddRecord(Rec(1200, 11, 100, 2), rs);
    EXPECT_EQ(c.LastLabelledDepth(), 1200);
    // Sixth row after a clear may carry text.
    TraceImageCore d;
    d.SetLabelRenderer(&labels);
    for (int cm = 990; cm <= 1000; cm += 2) d.AddRecord(Rec(cm, 11, 100, 2), rs);
    ASSERT_EQ(labels.drawn.size(), 1u);
    EXPECT_EQ(labels.drawn[0].text, "10");
}

TEST_F(TraceCoreTest, EveryClearSuppressesLabelTextForFiveRowsAgain) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    for (int cm = 980; cm <= 1010; cm += 2) core.AddRecord(Rec(cm, 11, 100, 2), rs);
    ASSERT_EQ(labels.drawn.size(), 1u);  // "10"
    core.ClearImage();
    for (int cm = 1080; cm <= 1084; cm += 2) core.AddRecord(Rec(cm, 11, 100, 2), rs);
    core.ClearImage();  // cleared again within the five rows: the count starts over
    for (int cm = 1092; cm <= 1100; cm += 2) core.AddRecord(Rec(cm, 11, 100, 2), rs);  // the fifth reaches 11 m
    EXPECT_EQ(labels.drawn.size(), 1u);
}

TEST_F(TraceCoreTest, ScalesTwoHundredAndFiveHundred) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    // 1/200 at 5 cm: one row per record, ticks of 4 every 50 cm, labels every metre.
    std::vector<std::pair<int, int>> rows;  // cm, row
    for (int cm = 900; cm <= 1160; cm += 5) {
        core.AddRecord(Rec(cm, 11, 200, 5), rs);
        rows.push_back({cm, core.LastDrawnRow()});
    }
    auto black = [&](int row, int x) { return core.Pixel(kTraceColumnX + x, row) == kTraceBlack; };
    for (auto [cm, row] : rows) {
        if (cm % 100 == 50) {
            EXPECT_TRUE(black(row, 3) && !black(row, 4)) << cm;
        } else if (cm % 100 == 0 && cm > 920) {
            EXPECT_TRUE(black(row, 5)) << cm;
        } else {
            EXPECT_FALSE(black(row, 2)) << cm;
        }
    }
    ASSERT_EQ(labels.drawn.size(), 2u);
    EXPECT_EQ(labels.drawn[1].text, "11");

    // 1/500 at 10 cm: ticks of 6 every metre, labels every 5 m.
    TraceImageCore c;
    c.SetLabelRenderer(&labels);
    labels.drawn.clear();
    for (int cm = 0; cm <= 1200; cm += 10) c.AddRecord(Rec(cm, 11, 500, 10), rs);
    ASSERT_EQ(labels.drawn.size(), 2u);
    EXPECT_EQ(labels.drawn[0].text, "5");
    EXPECT_EQ(labels.drawn[1].text, "10");
}

TEST_F(TraceCoreTest, TimeModeColumnStaysPlain) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    for (int i = 0; i < 60; ++i) core.AddRecord(Rec(1000 + 50 * i, 12), rs);
    EXPECT_TRUE(labels.drawn.empty());
    for (int row = core.WindowTopRow(); row < 2328; ++row)
        for (int x = kTraceColumnX; x < kTraceRightX; ++x) ASSERT_EQ(core.Pixel(x, row), kTraceBtnFace);
}

TEST_F(TraceCoreTest, LabelHalvesSurviveTheWindowMove) {
    FakeLabels labels;
    core.SetLabelRenderer(&labels);
    // 2296 rows down at 1/100 and 2 cm: the last one (3507) at a whole metre.
    const int first = 10000 - 2 * 2295;
    for (int i = 0; i < 2296; ++i) core.AddRecord(Rec(first + 2 * i, 11, 100, 2), rs);
    ASSERT_EQ(core.LastDrawnRow(), 3507);
    ASSERT_EQ(labels.drawn.back().text, "100");
    // Its lower half lies in the bottom guard band; after the move it is below row 1211.
    EXPECT_EQ(core.Pixel(kTraceColumnCentre, 3509), kTraceBlack);
    core.AddRecord(Rec(10002, 11, 100, 2), rs);
    EXPECT_EQ(core.LastDrawnRow(), 1212);
    EXPECT_EQ(core.Pixel(kTraceColumnCentre, 1212), kTraceBlack);
    EXPECT_EQ(core.Pixel(kTraceColumnCentre, 1213), kTraceBlack);
}

TEST(TraceRecordFeed, CopiesAndBoundsRecords) {
    TraceRecordFeed feed;
    std::vector<int16_t> big(9000, 7);
    TraceRecord r;
    r.rx[0] = big.data();
    r.count[0] = 60000;  // more than the trace buffer holds
    r.rx[1] = big.data();
    r.count[1] = 256;
    r.rx[2] = nullptr;  // no buffer: no samples
    r.count[2] = 512;
    EXPECT_TRUE(feed.Push(r));
    big.assign(9000, 0);  // the caller's buffer is reused at once
    feed.PushClear();
    EXPECT_TRUE(feed.Push(r));
    std::vector<TraceRecordFeed::Item> items;
    feed.Take(items);
    ASSERT_EQ(items.size(), 2u);  // the record before the clear is gone
    EXPECT_TRUE(items[0].clear);
    EXPECT_EQ(items[1].rec.count[0], 8192);
    EXPECT_EQ(items[1].rec.count[1], 256);
    EXPECT_EQ(items[1].rec.count[2], 0);
    EXPECT_EQ(items[1].rec.rx[2], nullptr);
    EXPECT_EQ(items[1].rec.rx[1][255], 0);
    EXPECT_EQ(feed.Pending(), 0u);

    for (size_t i = 0; i < TraceRecordFeed::kMaxPending; ++i) ASSERT_TRUE(feed.Push(r));
    EXPECT_FALSE(feed.Push(r));
    EXPECT_EQ(feed.Dropped(), 1u);
}

TEST(TraceRecordFeed, WorkerNeverWaitsForTheDrawer) {
    TraceRecordFeed feed;
    TraceImageCore core;
    std::atomic<bool> done{false};
    constexpr int kRecords = 3000;
    std::thread worker([&] {
        std::vector<int16_t> s(512);
        for (int i = 0; i < kRecords; ++i) {
            for (int k = 0; k < 512; ++k) s[k] = static_cast<int16_t>(i);
            TraceRecord r;
            r.rx[0] = r.rx[1] = r.rx[2] = s.data();
            r.count[0] = r.count[1] = r.count[2] = 512;
            r.code[0] = r.code[1] = r.code[2] = 2;
            r.mode = 11;
            r.scale = 100;
            r.depthM = i * 0.02;
            while (!feed.Push(r)) std::this_thread::yield();
        }
        done = true;
    });
    int seen = 0;
    std::vector<TraceRecordFeed::Item> items;
    TraceRowSettings rs;
    while (!done || feed.Pending() > 0) {
        feed.Take(items);
        for (auto& it : items) {
            ASSERT_FALSE(it.clear);
            ASSERT_EQ(it.rec.rx[2][511], static_cast<int16_t>(seen));  // in order, whole
            core.AddRecord(it.rec, rs);
            ++seen;
        }
    }
    worker.join();
    EXPECT_EQ(seen, kRecords);
}
