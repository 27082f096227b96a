#include "platform/NumText.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace zns {

namespace {

// One "C" locale object for the whole process; never freed.
locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Switches the calling thread to the "C" locale for the lifetime of the object.
class ThreadCLocale {
public:
    ThreadCLocale() : m_old(CLocale() ? uselocale(CLocale()) : static_cast<locale_t>(nullptr)) {}
    ~ThreadCLocale() {
        if (m_old) uselocale(m_old);
    }
    ThreadCLocale(const ThreadCLocale&) = delete;
    ThreadCLocale& operator=(const ThreadCLocale&) = delete;

private:
    locale_t m_old;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view t, size_t i) {
    while (i < t.size() && IsBlank(t[i])) ++i;
    return i;
}

// Leading integer; `end` is where the digits stop (0 when there were none).
int ScanInt(std::string_view t, size_t& end, bool& overflow) {
    size_t i = SkipBlanks(t, 0);
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    const size_t digits = i;
    int64_t v = 0;
    overflow = false;
    const int64_t limit = neg ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
        if (!overflow) {
            v = v * 10 + (t[i] - '0');
            if (v > limit) overflow = true;
        }
    }
    if (i == digits) {
        end = 0;
        return 0;
    }
    end = i;
    if (overflow) return neg ? INT_MIN : INT_MAX;
    return static_cast<int>(neg ? -v : v);
}

// Leading decimal number; `end` is where it stops (0 when there is none).
double ScanDouble(std::string_view t, bool comma, size_t& end, bool& overflow) {
    end = 0;
    overflow = false;
    size_t i = SkipBlanks(t, 0);
    std::string buf;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) buf += t[i++];
    size_t nDigits = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i, ++nDigits) buf += t[i];
    if (i < t.size() && (t[i] == '.' || (comma && t[i] == ','))) {
        buf += '.';
        for (++i; i < t.size() && IsDigit(t[i]); ++i, ++nDigits) buf += t[i];
    }
    if (nDigits == 0) return 0.0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        if (j < t.size() && IsDigit(t[j])) {
            buf.append(t.substr(i, j - i));
            for (; j < t.size() && IsDigit(t[j]); ++j) buf += t[j];
            i = j;
        }
    }
    end = i;
    double v = CLocale() ? strtod_l(buf.c_str(), nullptr, CLocale()) : std::strtod(buf.c_str(), nullptr);
    if (std::isinf(v)) {
        overflow = true;
        v = v < 0 ? -DBL_MAX : DBL_MAX;
    }
    return v;
}

}  // namespace

std::string FormatV(const char* fmt, va_list args) {
    ThreadCLocale cLocale;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = FormatV(fmt, args);
    va_end(args);
    return s;
}

int ParseInt(std::string_view text) {
    size_t end;
    bool overflow;
    return ScanInt(text, end, overflow);
}

bool ParseIntStrict(std::string_view text, int& out) {
    size_t end;
    bool overflow;
    out = ScanInt(text, end, overflow);
    return end != 0 && !overflow && SkipBlanks(text, end) == text.size();
}

double ParseDouble(std::string_view text) {
    size_t end;
    bool overflow;
    return ScanDouble(text, true, end, overflow);
}

double ParseDoubleDot(std::string_view text) {
    size_t end;
    bool overflow;
    return ScanDouble(text, false, end, overflow);
}

bool ParseDoubleStrict(std::string_view text, double& out) {
    size_t end;
    bool overflow;
    out = ScanDouble(text, true, end, overflow);
    return end != 0 && !overflow && SkipBlanks(text, end) == text.size();
}

}  // namespace zns
