#pragma once
// Geometry of the scope (CWaveCtrl), free of any toolkit: where the grid, the
// time labels, the threshold level, the search window, the pick and each trace
// point go for a client of W x H pixels. The control draws what these give.
#include <array>
#include <string>
#include <vector>

namespace zns {

inline constexpr int kScopeMaxSamples = 4096;
inline constexpr int kScopeMaxGain = 65536;  // beyond it the threshold step would be 0

// Time factor f (1, 1, 2, 4 for codes 0..3; 1 otherwise): the full width spans 1024 x f µs.
int ScopeTimeFactor(int code);
// Sample period in µs (8 for code 3, else 4).
int ScopeSamplePeriodUs(int code);
// Time label i (0..4) of the time base, Windows-1252 text ("0\xB5s", "250\xB5s" ...);
// empty for labels 1..4 of a code without a time base.
std::string ScopeTimeLabel(int code, int i);
// Distance between time labels in pixels: W / 512 x 500 x 0.25.
double ScopeTimeStep(int width);

// Rows of the three horizontal grid lines: trunc(H x 0.25), trunc(H x 0.5), trunc(H x 0.75).
std::array<int, 3> ScopeHorizontalGrid(int height);
// Columns of the vertical grid lines. Codes 1..3: trunc(i x step) for i = 1..4.
// Other non-zero codes: k x W / n for k = 0 .. n-1, n = RoundHalfAway(W / (H / 4)).
// Code 0, or a client too small for a grid: none.
std::vector<int> ScopeVerticalGrid(int width, int height, int code);
// Column of time label i (1..4): trunc(i x step + 4); label 0 sits at 10.
int ScopeLabelX(int width, int i);

// The display gain as the scope uses it: 1 .. kScopeMaxGain.
int ClampScopeGain(int gain);
// Row of the threshold line (real division): with q = 65536 / gain,
// H / q x (q / 2 - 64 x (level - 127)). Drawn only when 0 < y < H.
double ScopeThresholdY(int height, int gain, int level);
bool ScopeThresholdVisible(double y, int height);
// Column of a time in µs: trunc(W / 1024 x (us / f)), us / f in integer division.
int ScopeTimeX(int width, int us, int code);
// A pick worth drawing: 0 < t < 65535 (65535 means no pick).
bool ScopePickDrawn(int t);

// Trace point i of `count`: x = trunc(W / count x i);
// y = trunc((H - 2) - (v + 32768) x (H - 2) / 65535 + 1), v = sample x gain
// (gain > 1) clamped to -32767..32767. Full positive scale is at the top.
int ScopeTraceX(int width, int count, int i);
int ScopeTraceY(int height, int sample, int gain);

}  // namespace zns
