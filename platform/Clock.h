#pragma once
// Time sources. Everything that waits or stamps goes through IClock so that tests
// can run long scenarios on virtual time.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>

namespace zns {

struct LocalTime {
    int year = 1970, month = 1, day = 1;  // month 1..12
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 4;  // 0 = Sunday
};

class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic milliseconds; only differences mean anything.
    virtual int64_t NowSteadyMs() const = 0;
    virtual void SleepMs(int64_t ms) = 0;
    virtual LocalTime NowLocal() const = 0;
};

// Real time: steady_clock, this_thread::sleep_for, localtime_r.
class SystemClock final : public IClock {
public:
    int64_t NowSteadyMs() const override;
    void SleepMs(int64_t ms) override;
    LocalTime NowLocal() const override;
};

// Process-wide real clock.
IClock& DefaultClock();

// Virtual time for tests: SleepMs advances the clock instead of waiting, so a
// ten-minute scenario runs in milliseconds. Thread-safe.
class FakeClock final : public IClock {
public:
    explicit FakeClock(int64_t startMs = 0) : m_now(startMs) {}
    int64_t NowSteadyMs() const override { return m_now.load(); }
    void SleepMs(int64_t ms) override { if (ms > 0) m_now.fetch_add(ms); }
    LocalTime NowLocal() const override;
    void Advance(int64_t ms) { m_now.fetch_add(ms); }
    void SetLocalBase(const LocalTime& t) { m_base = t; }

private:
    std::atomic<int64_t> m_now;
    LocalTime m_base{2024, 3, 5, 14, 7, 9, 0, 2};
};

// English names whatever the locale. Out-of-range numbers give "".
const char* MonthName(int month);        // 1 = "January"
const char* MonthAbbrev(int month);      // 1 = "Jan"
const char* WeekdayName(int weekday);    // 0 = "Sunday"
const char* WeekdayAbbrev(int weekday);  // 0 = "Sun"

// strftime-like, in English and independent of the locale. Knows %a %A %b %B
// %d %e %H %I %j %m %M %p %S %y %Y %%; any other "%x" is copied as it stands.
std::string FormatTime(const char* fmt, const LocalTime& t);
// The C library's asctime text without its newline, with a two-digit day:
// "Tue Mar 05 14:07:09 2024".
std::string AsctimeText(const LocalTime& t);

}  // namespace zns
