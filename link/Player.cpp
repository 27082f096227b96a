// The replay player thread and its pace.
#include "link/Player.h"

#include <algorithm>
#include <cmath>

namespace zns {

double PlayerFactor(int headerStep, int headerLogMode) {
    if (headerLogMode == 10) return 1.0;  // a time log
    return headerStep / 10.0;
}

int PlayerTicks(int sliderMax, int sliderPos, int vscale) {
    const int n = std::max(1, sliderMax - sliderPos + 1);
    switch (vscale) {
        case 25: return n * 3;
        case 50: return n * 2;
        case 500: return std::max(1, n / 2);
        default: return n;
    }
}

std::optional<int64_t> PlayerDue100ns(int ticks, double factor) {
    const double due = std::trunc(static_cast<double>(ticks) * 50000.0 * factor);
    // A log whose step is 0 or negative (an edited or foreign header) still
    // plays: one tick of 5 ms per record, never flat out.
    if (std::isfinite(due) && due <= 0.0) return kPlayerTick100ns;
    // A wait beyond the 64-bit range cannot be set.
    if (!std::isfinite(due) || due >= 9.2e18) return std::nullopt;
    return static_cast<int64_t>(due);
}

int64_t PlayerWaitMs(int64_t due100ns) {
    const int64_t ms = (due100ns + 9999) / 10000;
    return std::min<int64_t>(ms, 10000);
}

}  // namespace zns

CPlayer::CPlayer(SharedData& shared, std::atomic<int64_t>& position, zns::IClock& clock, PlayerHooks hooks)
    : m_shared(shared), m_position(position), m_clock(clock), m_hooks(std::move(hooks)) {}

CPlayer::~CPlayer() { Stop(); }

bool CPlayer::RunningByte() const {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    return m_shared.session.Running != 0;
}

void CPlayer::ClearRunningByte() {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    m_shared.session.Running = 0;
}

void CPlayer::SetSliderPos(int pos) { m_sliderPos.store(std::clamp(pos, kSliderMin, kSliderMax)); }

bool CPlayer::StartPlayer(double factor) {
    if (RunningByte()) return false;
    // A thread told to stop may still be in its last wait: it ends before the
    // new one starts, so that two never read the file at once.
    Join();
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        if (m_shared.session.Running) return false;
        m_shared.session.Running = 1;
    }
    std::lock_guard<std::mutex> g(m_threadMutex);
    m_threadAlive.store(true);
    m_started.fetch_add(1);
    m_thread = std::thread([this, factor] { PlayerThreadProc(factor); });
    return true;
}

void CPlayer::RequestStop() { ClearRunningByte(); }

void CPlayer::Join() {
    std::lock_guard<std::mutex> g(m_threadMutex);
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CPlayer::Stop() {
    RequestStop();
    Join();
}

int64_t CPlayer::Position() {
    if (!RunningByte()) Join();
    return m_position.load();
}

void CPlayer::SetPosition(int64_t pos) {
    Stop();
    m_position.store(pos);
}

bool CPlayer::WaitMs(int64_t ms) {
    const int64_t deadline = m_clock.NowSteadyMs() + ms;
    for (;;) {
        if (!RunningByte() || m_shared.m_bExiting.load()) return false;
        const int64_t left = deadline - m_clock.NowSteadyMs();
        if (left <= 0) return true;
        m_clock.SleepMs(std::min(left, kWaitSliceMs));
    }
}

void CPlayer::PlayerThreadProc(double factor) {
    const int alive = m_alive.fetch_add(1) + 1;
    for (int seen = m_maxAlive.load(); alive > seen && !m_maxAlive.compare_exchange_weak(seen, alive);) {
    }
    m_shared.m_bPlayerRunning.store(true);
    int code = EXIT_DONE;
    bool byItself = false;

    while (RunningByte() && !m_shared.m_bExiting.load()) {
        const int vscale = m_shared.SnapshotSettings().VScale;
        const auto due = zns::PlayerDue100ns(zns::PlayerTicks(kSliderMax, m_sliderPos.load(), vscale), factor);
        if (!due) {
            ClearRunningByte();
            code = EXIT_BAD_PACE;
            byItself = true;
            if (m_hooks.onPacingFailed) m_hooks.onPacingFailed(kMsgBadPace);
            break;
        }
        if (!WaitMs(zns::PlayerWaitMs(*due))) break;
        if (!RunningByte()) break;
        if (m_hooks.readRecord && m_hooks.readRecord(m_position.load())) {
            if (m_hooks.onRecord) m_hooks.onRecord();
        } else {
            // End of the file, or a record that cannot be read: back to the start.
            ClearRunningByte();
            m_position.store(0);
            byItself = true;
        }
    }

    m_exitCode.store(code);
    m_shared.m_bPlayerRunning.store(false);
    m_alive.fetch_sub(1);
    m_threadAlive.store(false);
    if (byItself && m_hooks.onEnded) m_hooks.onEnded();
}
