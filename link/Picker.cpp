#include "link/Picker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <mutex>

#include "platform/NumText.h"
#include "settings/Preferences.h"

namespace {

constexpr int kZero = 32768;  // zero on the excess-32768 scale

std::mutex g_hookMutex;
std::function<void()> g_pump;
std::thread::id g_guiThread;
std::function<void(const std::string&, const std::string&)> g_exceptionWriter;

constexpr size_t kMaxExceptionText = 255;

}  // namespace

double RoundHalfAway(double x) { return x >= 0.0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); }

int ToInt(double x) {
    if (std::isnan(x)) return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

int PickFirstArrival(const int16_t* samples, int step, int count, int start, int end, int level) {
    const int64_t threshold = static_cast<int64_t>(level) * 64 + 24639;
    // An odd step is taken down to even; a step that leaves time standing still is
    // taken as 4 µs.
    step &= ~1;
    if (step <= 0) step = 4;

    int r = -1;
    int t = 0;
    int p = 0;
    bool above = false;
    int tr = 0;
    int tf = 0;
    if (samples == nullptr) count = 0;
    for (int i = 0; i < count; ++i) {
        int s = samples[i];
        if (s < -32767) s = -32767;
        const int u = s + kZero;
        if (u == kZero) {
            tf = tr = t;
            above = false;
        } else if (u > kZero) {
            tf = t;
            if (!above) {
                above = true;
                tr += ToInt(RoundHalfAway(static_cast<double>(t - tr) / (u - p) * (kZero - p)));
            }
        } else {
            tr = t;
            if (above) {
                above = false;
                tf += ToInt(RoundHalfAway(static_cast<double>(t - tf) / (p - u) * (p - kZero)));
            }
        }
        if (start < t && t < end) {
            if (r < 0) {
                if (threshold > 32767) {
                    if (u >= threshold && u > p) r = tr;
                } else {
                    if (u <= threshold && u < p) r = tf;
                }
            }
            if (r < start) {
                r = -1;  // a crossing before the window: keep looking
            } else if (r > 0) {
                return r;
            }
        }
        if (t > end) return r;
        t += step;
        p = u;
    }
    return (start <= r && r <= end && r > 0) ? r : kNoPick;
}

uint16_t PickTravelTime(const AcquisitionSettings& settings, const int16_t* samples, int byteCount, int step,
                        int receiver) {
    if (receiver < 1 || receiver > 3) return kNoPick;
    const FirstArrivalSettings& fa = settings.FA[receiver - 1];
    if (fa.Use == 0) return kNoPick;
    // A hand-edited threshold may be stored as INT_MAX: widen before the offset.
    const long long level = std::clamp<long long>(fa.Threshold + 127LL, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max());
    const int r = PickFirstArrival(samples, step, byteCount / 2, fa.StartWindow, fa.EndWindow, static_cast<int>(level));
    if (r < 0 || r > kNoPick) return kNoPick;
    return static_cast<uint16_t>(r);
}

bool FileExists(const std::string& path) {
    std::ifstream f(path, std::ios::in | std::ios::binary);
    return f.is_open();
}

void SetMessagePump(std::function<void()> pump, std::thread::id guiThread) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_pump = std::move(pump);
    g_guiThread = guiThread;
}

void PumpMessages() {
    std::function<void()> pump;
    {
        std::lock_guard<std::mutex> g(g_hookMutex);
        if (!g_pump || std::this_thread::get_id() != g_guiThread) return;
        pump = g_pump;
    }
    // Called outside the lock: the pump may run handlers that wait and pump again.
    pump();
}

void DebugOutput(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

void TraceException(const char* function, const char* file, int line) {
    DebugOutput(zns::Format("Function: %s\nFile: %s\nLine: %d\n", function ? function : "", file ? file : "", line));
}

void SetExceptionLogWriter(std::function<void(const std::string&, const std::string&)> writer) {
    std::lock_guard<std::mutex> g(g_hookMutex);
    g_exceptionWriter = std::move(writer);
}

void LogException(const std::string& text, const std::exception& e) {
    std::string message = e.what() ? e.what() : "";
    if (message.size() > kMaxExceptionText) message.resize(kMaxExceptionText);
    std::function<void(const std::string&, const std::string&)> writer;
    {
        std::lock_guard<std::mutex> g(g_hookMutex);
        writer = g_exceptionWriter;
    }
    if (writer) {
        writer(text, message);
    } else {
        CPreferences::WriteErrorLog(text, message);
    }
}
