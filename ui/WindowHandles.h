#pragma once
// The program's long-lived windows, for the private commands they send one
// another (SendCommand / PostCommand). Each is set right after its window is
// created and cleared before it is destroyed; null while it does not exist.
// Set and cleared on the GUI thread; any thread may read them.
#include <atomic>

class CWndBase;

inline std::atomic<CWndBase*> g_hWndMain{nullptr};
inline std::atomic<CWndBase*> g_hWndPower{nullptr};
inline std::atomic<CWndBase*> g_hWndDepth{nullptr};
inline std::atomic<CWndBase*> g_hWndSetup{nullptr};
inline std::atomic<CWndBase*> g_hWndWideRx1{nullptr};
inline std::atomic<CWndBase*> g_hWndWideRx2{nullptr};
inline std::atomic<CWndBase*> g_hWndWideRx3{nullptr};

// Private command ids between the windows.
enum : unsigned {
    ID_REFRESH_PROBE_PAGE = 1740,
    ID_SONDE_CHANGED = 1745,
    ID_ACQUISITION_STATE_CHANGED = 1749,
    ID_REARM_ACQ_READBACK = 1756,
    ID_SCOPE_SETTINGS_CHANGED = 64808,
    ID_POWER_STOP = 905,  // the power panel's Stop button
};
