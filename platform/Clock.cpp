#include "platform/Clock.h"

#include <chrono>
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

}  // namespace zns
