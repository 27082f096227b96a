#pragma once
// Number text that never depends on the global locale: files and dialogs always
// carry '.' as decimal mark, whatever locale the user or a library has set.
#include <cstdarg>
#include <string>
#include <string_view>

namespace zns {

// printf-style formatting in the "C" locale (%d, %g, %f, %.3f, %#.2f, %04d, %s ...).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// Like atoi: leading blanks, optional sign, then as many digits as there are;
// no digits gives 0. Out-of-range values saturate at INT_MIN / INT_MAX.
int ParseInt(std::string_view text);
// True when the text, blanks around it aside, is one complete in-range integer.
// `out` gets the saturated leading value either way.
bool ParseIntStrict(std::string_view text, int& out);

// Like atof, with ',' or '.' as decimal mark: leading blanks, sign, digits,
// fraction, exponent; the number ends where that syntax ends. No number gives
// 0.0. "inf", "nan" and hexadecimal forms are not numbers here (0.0, or the
// leading "0" of "0x1p3"). Beyond the double range saturates at +-DBL_MAX.
double ParseDouble(std::string_view text);
// The same with '.' as the only decimal mark (a ',' ends the number).
double ParseDoubleDot(std::string_view text);
// True when the text, blanks around it aside, is one complete finite number
// (',' or '.' as mark). `out` gets the leading value either way.
bool ParseDoubleStrict(std::string_view text, double& out);

}  // namespace zns
