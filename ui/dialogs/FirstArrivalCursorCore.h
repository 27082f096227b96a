#pragma once
// Rules of the first-arrival cursor dialog, free of any toolkit: the clamps of
// the threshold and of the search window, the 50 µs gap kept between its start
// and end, and the steps of the spin arrows.
namespace zns {

inline constexpr int kFaThresholdMax = 127;  // and -127 below
inline constexpr int kFaStartMin = 100;
inline constexpr int kFaStartMax = 950;
inline constexpr int kFaEndMin = 150;
inline constexpr int kFaEndMax = 1000;
inline constexpr int kFaMinGap = 50;
inline constexpr int kFaWindowStep = 10;

// One receiver's first-arrival settings as the dialog holds them.
struct FaCursor {
    int threshold = 0;
    int start = 0;  // µs
    int end = 0;    // µs
    int use = 0;
};

// Threshold held to -127..127, with 0 (no threshold at all) made 1.
int FaHoldThreshold(long long value);
// Threshold from its edit's decimal: truncated toward zero, then held.
int FaThresholdFromEdit(double value);

// Leaving the start edit: start := value held to 100..950; the end is pushed to
// start + 50 when it was closer. True when the end moved.
bool FaCommitStart(FaCursor& c, int value);
// Leaving the end edit: end := value held to 150..1000; the start is pulled to
// end - 50 when it was closer. True when the start moved.
bool FaCommitEnd(FaCursor& c, int value);

// Spin steps from the value an edit shows; only the bound in the direction of
// the step applies. The threshold skips 0.
int FaThresholdLineUp(int shown);
int FaThresholdLineDown(int shown);
int FaStartLineDown(int shown);
int FaEndLineUp(int shown);
// Start up by 10 (at most 950); pushes c.end to value + 50 when the value comes
// above end - 50 (*endMoved true then).
int FaStartLineUp(FaCursor& c, int shown, bool* endMoved);
// End down by 10 (at least 150); pulls c.start to value - 50 when the value comes
// below start + 50 (*startMoved true then).
int FaEndLineDown(FaCursor& c, int shown, bool* startMoved);

}  // namespace zns
