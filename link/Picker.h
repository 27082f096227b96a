#pragma once
// First-arrival picking and the small helpers many windows and workers share.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "records/SharedRecords.h"

inline constexpr int kNoPick = 65535;

// Arrival time in µs of the first arrival in a trace of `count` signed 16-bit samples
// `step` µs apart, looked for strictly between `start` and `end` µs. The threshold is
// level x 64 + 24639 on the excess-32768 scale: above 32767 the first sample at or
// beyond it while rising picks the zero crossing before it; otherwise the first
// sample at or below it while falling does. The crossing is interpolated linearly and
// rounded half away from zero. 65535 when nothing is picked; -1 when the window ends
// inside the trace without a pick (callers treat both as none).
int PickFirstArrival(const int16_t* samples, int step, int count, int start, int end, int level);

// Travel time of receiver 1..3 with that receiver's first-arrival settings:
// 65535 for another receiver, a receiver whose pick is off, or no pick.
uint16_t PickTravelTime(const AcquisitionSettings& settings, const int16_t* samples, int byteCount, int step,
                        int receiver);

// floor(x + 0.5) for x >= 0, ceil(x - 0.5) below.
double RoundHalfAway(double x);
// Truncation toward zero; NaN gives 0 and values beyond the int range saturate.
int ToInt(double x);

// True when the file can be opened for reading.
bool FileExists(const std::string& path);

// Runs the window system's pending events when called on the GUI thread, and does
// nothing on any other thread. The GUI layer installs the pump at start.
void PumpMessages();
void SetMessagePump(std::function<void()> pump, std::thread::id guiThread);

// Debugger output: one text to stderr.
void DebugOutput(const std::string& text);
// "Function: %s\nFile: %s\nLine: %d\n" to the debugger output, for a caught exception.
void TraceException(const char* function, const char* file, int line);
// Writes key `text` = the exception's message (at most 255 characters) to the error
// log. `text` names the place, e.g. "CGraphicCounterCtrl :: L283".
void LogException(const std::string& text, const std::exception& e);
// Where LogException writes; the default is the program's error log.
void SetExceptionLogWriter(std::function<void(const std::string& key, const std::string& value)> writer);
