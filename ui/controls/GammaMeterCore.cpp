#include "ui/controls/GammaMeterCore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/NumText.h"

namespace zns {

namespace {

double RoundAway(double x) { return x >= 0.0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); }

int TruncSat(double x) {
    if (std::isnan(x)) return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

double Mean(const std::array<int, kGammaRing>& ring, int n) {
    if (n <= 0) return ring[0];
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += ring[static_cast<size_t>(i)];
    return sum / n;
}

}  // namespace

int ClampGammaFilter(int filter) { return std::clamp(filter, 1, kGammaRing - 1); }

bool GrowGammaMaximum(int& maximum, double cps) {
    if (!(maximum < cps)) return false;
    while (maximum < kGammaMaxLimit && !(maximum > cps)) maximum = std::min(maximum + 50, kGammaMaxLimit);
    return true;
}

void GammaMeter::SetConfig(GammaConfig cfg) {
    cfg.filter = ClampGammaFilter(cfg.filter);
    // With the filter at most 99 every write lands in the ring whatever the
    // index was when the filter changed (it is checked against the filter first).
    std::lock_guard<std::mutex> g(m_mutex);
    m_cfg = cfg;
}

GammaConfig GammaMeter::Config() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_cfg;
}

void GammaMeter::PutGammaCount(unsigned count, double coef) {
    const double cps = count * 0.25 * coef;
    const int r = TruncSat(RoundAway(cps));
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_idle > 20) {
        m_idle = 0;
        m_maximum = static_cast<int>(std::max(m_maximum / 1.1, 100.0));
    }
    if (m_cfg.viewMode == 2) {
        if (GrowGammaMaximum(m_maximum, cps)) m_idle = 0;
    } else {
        m_maximum = 100;
    }
    if (m_cfg.average) {
        const int filter = m_cfg.filter;
        if (m_warmUp && m_index == 0) {
            m_ring.fill(r);
            m_index = 1;
            m_newSample = true;
        } else if (m_warmUp) {
            if (m_index > filter) {
                m_index = 0;
                m_warmUp = false;
            }
            m_ring[static_cast<size_t>(m_index)] = r;
            ++m_index;
            m_newSample = true;
        } else {
            m_ring[static_cast<size_t>(m_index)] = r;
            ++m_index;
            if (m_index > filter) m_index = 0;
        }
    } else {
        m_index = 0;
        m_newSample = false;
    }
    m_currentCps = r;
}

GammaMeter::Screen GammaMeter::PutGammaOnScreen(bool textAllowed) {
    Screen s;
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_cfg.average) {
        double v;
        if (!m_warmUp)
            v = Mean(m_ring, m_cfg.filter);
        else if (m_newSample)
            v = Mean(m_ring, m_index);
        else
            v = m_currentCps;
        const int shown = TruncSat(v);
        s.bar = shown;
        if (shown >= 0 && textAllowed) s.text = Format("%d", shown);
        if (m_cfg.viewMode == 2) {
            if (GrowGammaMaximum(m_maximum, v)) m_idle = 0;
        } else {
            m_maximum = 100;
        }
    } else {
        s.bar = m_currentCps;
        if (m_currentCps >= 1) s.text = Format("%d", m_currentCps);
        m_warmUp = true;
        m_index = 0;
    }
    s.maximum = m_maximum;
    return s;
}

void GammaMeter::Reset() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_ring.fill(0);
    m_index = 0;
    m_warmUp = true;
}

void GammaMeter::Tick() {
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_idle < kGammaIdleLimit) ++m_idle;
}

bool GammaMeter::ResetIfIdle() {
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_idle <= kGammaIdleReset) return false;
    m_maximum = 100;
    m_ring.fill(0);
    m_index = 0;
    m_warmUp = true;
    m_currentCps = 0;
    return true;
}

int GammaMeter::Maximum() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_maximum;
}
int GammaMeter::IdleCounter() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_idle;
}
int GammaMeter::CurrentCps() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_currentCps;
}
int GammaMeter::Index() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_index;
}
bool GammaMeter::WarmUp() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_warmUp;
}
bool GammaMeter::NewSample() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_newSample;
}
int GammaMeter::RingAt(int i) const {
    std::lock_guard<std::mutex> g(m_mutex);
    return (i >= 0 && i < kGammaRing) ? m_ring[static_cast<size_t>(i)] : 0;
}

}  // namespace zns
