#pragma once
// The depth panel's gamma meter, free of any toolkit: the reading per frame,
// the ring of the running average, the automatic range with its decay, and the
// value, bar position and text that the panel shows.
//
// Threads: PutGammaCount runs on the thread that delivers the frame (receive or
// player thread); everything else on the GUI thread. All state is behind one
// short lock; nothing here waits for anything else.
#include <array>
#include <mutex>
#include <string>

namespace zns {

inline constexpr int kGammaRing = 100;
inline constexpr int kGammaMaxLimit = 65000;
inline constexpr int kGammaStartMax = 200;
inline constexpr int kGammaIdleStart = 1000;
inline constexpr int kGammaIdleLimit = 10000;
inline constexpr int kGammaIdleReset = 200;  // timer ticks (100 ms) without a reading

// The filter length as the ring can hold it: 1..99.
int ClampGammaFilter(int filter);

// Growth of the automatic range: when `maximum` is below `cps` (and below 65000)
// it grows by 50 until it exceeds cps or reaches 65000. True when it was below.
bool GrowGammaMaximum(int& maximum, double cps);

struct GammaConfig {
    int viewMode = 2;      // GammaViewMode: 0 hidden, 1 fixed range, 2 automatic range
    bool average = false;  // GammaIsAverage
    int filter = 20;       // GammaFilter, held to 1..99
};

class GammaMeter {
public:
    // What the panel shows after PutGammaOnScreen.
    struct Screen {
        int bar = 0;       // bar position
        std::string text;  // counter text ("%d" or empty)
        int maximum = 0;   // bar maximum of the automatic range
    };

    void SetConfig(GammaConfig cfg);
    GammaConfig Config() const;

    // One reading: cps = count x 0.25 x coef. Any thread.
    void PutGammaCount(unsigned count, double coef);
    // The shown value. `textAllowed`: a replay file is loaded or the link state is at least 32.
    Screen PutGammaOnScreen(bool textAllowed);
    // Ring and index cleared, warm-up set.
    void Reset();
    // One panel tick: the idle counter + 1, at most 10000.
    void Tick();
    // Automatic range after 20 s without a reading: maximum 100, ring cleared,
    // warm-up set, current CPS 0. True when it applied.
    bool ResetIfIdle();

    // --- observation ---
    int Maximum() const;
    int IdleCounter() const;
    int CurrentCps() const;
    int Index() const;
    bool WarmUp() const;
    bool NewSample() const;
    int RingAt(int i) const;

private:
    mutable std::mutex m_mutex;
    GammaConfig m_cfg;
    int m_maximum = kGammaStartMax;
    std::array<int, kGammaRing> m_ring{};
    int m_index = 0;
    bool m_warmUp = true;
    int m_currentCps = 0;
    int m_idle = kGammaIdleStart;
    bool m_newSample = false;
};

}  // namespace zns
