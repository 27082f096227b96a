#include "platform/Clock.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace zns {

int64_t SystemClock::NowSteadyMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMs(int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime SystemClock::NowLocal() const {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.weekday = tm.tm_wday;
    lt.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return lt;
}

IClock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

LocalTime FakeClock::NowLocal() const {
    // The base stamp moved on by the virtual time elapsed, through the C library
    // so that day and month roll over correctly.
    std::tm tm{};
    tm.tm_year = m_base.year - 1900;
    tm.tm_mon = m_base.month - 1;
    tm.tm_mday = m_base.day;
    tm.tm_hour = m_base.hour;
    tm.tm_min = m_base.minute;
    tm.tm_sec = m_base.second;
    int64_t ms = m_now.load();
    tm.tm_sec += static_cast<int>(ms / 1000);
    std::time_t t = timegm(&tm);
    std::tm out{};
    gmtime_r(&t, &out);
    LocalTime lt;
    lt.year = out.tm_year + 1900;
    lt.month = out.tm_mon + 1;
    lt.day = out.tm_mday;
    lt.hour = out.tm_hour;
    lt.minute = out.tm_min;
    lt.second = out.tm_sec;
    lt.weekday = out.tm_wday;
    lt.millisecond = static_cast<int>(ms % 1000);
    return lt;
}

namespace {

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kWeekdays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthAbbrevs[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kWeekdayAbbrevs[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DayOfYear(const LocalTime& t) {
    static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    if (t.month < 1 || t.month > 12) return t.day;
    return kBefore[t.month - 1] + t.day + (t.month > 2 && IsLeap(t.year) ? 1 : 0);
}

void AppendNum(std::string& out, const char* fmt, int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, fmt, v);
    out += buf;
}

}  // namespace

const char* MonthName(int month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : ""; }
const char* MonthAbbrev(int month) { return month >= 1 && month <= 12 ? kMonthAbbrevs[month - 1] : ""; }
const char* WeekdayName(int weekday) { return weekday >= 0 && weekday <= 6 ? kWeekdays[weekday] : ""; }
const char* WeekdayAbbrev(int weekday) { return weekday >= 0 && weekday <= 6 ? kWeekdayAbbrevs[weekday] : ""; }

std::string FormatTime(const char* fmt, const LocalTime& t) {
    std::string out;
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        switch (*++p) {
            case 'a': out += WeekdayAbbrev(t.weekday); break;
            case 'A': out += WeekdayName(t.weekday); break;
            case 'b': out += MonthAbbrev(t.month); break;
            case 'B': out += MonthName(t.month); break;
            case 'd': AppendNum(out, "%02d", t.day); break;
            case 'e': AppendNum(out, "%2d", t.day); break;
            case 'H': AppendNum(out, "%02d", t.hour); break;
            case 'I': AppendNum(out, "%02d", t.hour % 12 == 0 ? 12 : t.hour % 12); break;
            case 'j': AppendNum(out, "%03d", DayOfYear(t)); break;
            case 'm': AppendNum(out, "%02d", t.month); break;
            case 'M': AppendNum(out, "%02d", t.minute); break;
            case 'p': out += t.hour < 12 ? "AM" : "PM"; break;
            case 'S': AppendNum(out, "%02d", t.second); break;
            case 'y': AppendNum(out, "%02d", ((t.year % 100) + 100) % 100); break;
            case 'Y': AppendNum(out, "%d", t.year); break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += *p;
                break;
        }
    }
    return out;
}

std::string AsctimeText(const LocalTime& t) { return FormatTime("%a %b %d %H:%M:%S %Y", t); }

}  // namespace zns
