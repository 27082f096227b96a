#pragma once
// Time sources. Everything that waits or stamps goes through IClock so that tests
// can run long scenarios on virtual time.
#include <atomic>
#include <cstdint>
#include <ctime>

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

}  // namespace zns
