#pragma once
// The counter read-out's arithmetic, free of any toolkit: font scale, font
// size for the client height, alignment, blink periods and the formatting of
// values with a caller's format.
#include <string>

namespace zns {

inline constexpr double kCounterSmallFont = -999.0;  // font scale of the fixed small font
inline constexpr int kCounterTextMax = 255;           // characters kept of a text

// SetFontScale's mode: 0 -> -999.0 (small font), 1 -> 0.8, 3 -> 1.4, 4 -> 2.0, else 1.0.
double CounterFontScale(int mode);

struct CounterFont {
    int height = 0;  // cell height in pixels
    int width = 0;   // average character width in pixels
    int weight = 0;  // 400 normal, 700 bold
    int offset = 0;  // the text is drawn this many pixels above the top
};
// Small font: 14 x 5, weight 400, offset (14 - H) / 2. Otherwise height
// trunc(1.2 x H), width trunc(height / 3 x scale), weight 700, offset (height - H) / 2.
CounterFont CounterFontFor(int clientHeight, double scale);

// Size modes (text alignment).
enum : int { COUNTER_RIGHT = 5, COUNTER_CENTRED = 6, COUNTER_LEFT = 7 };

struct CounterPlacement {
    bool rightAligned = true;  // TA_RIGHT at x, else TA_LEFT at x
    int x = 0;
    int sizeMode = COUNTER_RIGHT;  // an unknown mode becomes 5
};
// Where a text of `chars` characters goes in a client [left, right): the width
// estimate w = chars x font width; 5 right edge, 6 centred, 7 left edge, any other
// mode becomes 5. A client narrower than trunc(w x 1.1) takes the text at the left.
CounterPlacement PlaceCounterText(int sizeMode, int left, int right, int chars, int fontWidth);

// Blink period for a speed: 0 -> 2000 ms, 1 -> 1000, 2 -> 500, otherwise the
// value itself in milliseconds (at least 10).
unsigned BlinkPeriodMs(int speed);

// True when `format` is a printf format that takes exactly one double: literal
// text, "%%", and one conversion of f F e E g G a A with flags, width and precision
// given as at most two digits each (no '*', no length other than 'l').
bool IsDoubleFormat(const char* format);
// The value in `format` ("%###.2f" ...); a value that is not finite is shown as
// 0.0, a format that does not take one double as "%.2f". At most 255 characters.
std::string FormatCounterValue(double value, const char* format);

}  // namespace zns
