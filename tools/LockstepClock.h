#pragma once
// Virtual time that one thread (the one that made the clock, "the master")
// moves forward a millisecond at a time, each step only once every worker that
// waits on the clock is asleep again and `settled` holds. Workers' SleepMs
// block until the time has come. So a run of the link's own threads against
// the simulated logger happens at the same virtual instants every time: the
// same bytes come out of the same seed.
//
// The master's own SleepMs moves the time itself. FreeRun() ends the
// lockstep (before joining the workers): from then on SleepMs only advances
// the time, as a plain fake clock does.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Clock.h"

namespace zns::tools {

class LockstepClock final : public IClock {
public:
    explicit LockstepClock(int64_t startMs = 0) : m_now(startMs), m_local(startMs), m_master(std::this_thread::get_id()) {}

    int64_t NowSteadyMs() const override {
        std::lock_guard<std::mutex> g(m_mu);
        return m_now;
    }
    LocalTime NowLocal() const override {
        std::lock_guard<std::mutex> g(m_mu);
        return m_local.NowLocal();
    }
    void SleepMs(int64_t ms) override {
        if (ms <= 0) return;
        if (std::this_thread::get_id() == m_master) {
            Advance(ms);
            return;
        }
        std::unique_lock<std::mutex> lk(m_mu);
        if (m_freeRun) {
            Move(ms);
            return;
        }
        const int64_t until = m_now + ms;
        const auto me = std::this_thread::get_id();
        m_sleepers[me] = until;
        m_cv.notify_all();
        m_cv.wait(lk, [&] { return m_now >= until || m_freeRun; });
        m_sleepers.erase(me);
        m_cv.notify_all();
    }

    // What else must be done before time moves on (commands written, ...).
    void SetSettled(std::function<bool()> settled) { m_settled = std::move(settled); }

    // Master: moves the time `ms` on, from one worker's wake-up to the next.
    // False when the workers did not come to rest within `realTimeoutMs` of
    // real time (nothing waits on the clock).
    bool Advance(int64_t ms, int realTimeoutMs = 5000) {
        int64_t target;
        {
            std::lock_guard<std::mutex> g(m_mu);
            target = m_now + ms;
        }
        for (;;) {
            if (!WaitQuiet(realTimeoutMs)) return false;
            std::lock_guard<std::mutex> g(m_mu);
            if (m_now >= target) return true;
            // Nothing happens before the first sleeper wakes: straight there.
            int64_t next = target;
            for (const auto& [id, until] : m_sleepers) next = std::min(next, until);
            Move(next - m_now);
            m_cv.notify_all();
        }
    }

    // Master: advances until `done` holds (checked at rest), at most `limitMs`.
    bool AdvanceUntil(const std::function<bool()>& done, int64_t limitMs) {
        for (int64_t i = 0; i < limitMs; ++i) {
            if (!WaitQuiet(5000)) return false;
            if (done()) return true;
            if (!Advance(1)) return false;
        }
        return done();
    }

    // Ends the lockstep: sleepers wake, later sleeps only move the time.
    void FreeRun() {
        std::lock_guard<std::mutex> g(m_mu);
        m_freeRun = true;
        m_cv.notify_all();
    }

private:
    // Caller holds m_mu.
    void Move(int64_t ms) {
        m_now += ms;
        m_local.Advance(ms);
    }

    bool WaitQuiet(int realTimeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
        std::unique_lock<std::mutex> lk(m_mu);
        for (;;) {
            if (m_freeRun) return true;
            bool asleep = !m_sleepers.empty();
            for (const auto& [id, until] : m_sleepers)
                if (until <= m_now) asleep = false;  // woken, not yet running
            if (asleep) {
                lk.unlock();
                const bool settled = !m_settled || m_settled();
                lk.lock();
                if (settled) return true;
                // Another thread (the writer of commands) still has work: give it a moment.
                m_cv.wait_for(lk, std::chrono::microseconds(50));
                if (std::chrono::steady_clock::now() > deadline) return false;
                continue;
            }
            if (m_cv.wait_until(lk, deadline) == std::cv_status::timeout) return false;
        }
    }

    mutable std::mutex m_mu;
    std::condition_variable m_cv;
    int64_t m_now;
    FakeClock m_local;  // the wall-clock side (header dates), moved with m_now
    std::map<std::thread::id, int64_t> m_sleepers;
    std::function<bool()> m_settled;
    bool m_freeRun = false;
    const std::thread::id m_master;
};

}  // namespace zns::tools
