#pragma once
// The LAS 2.0 text of a log export: header sections and data lines.
//
// The file is Windows text: every line ends in CR LF. The data title ends the
// header without a line end and every data line starts with one, so the file
// ends after its last value. Other programs read these files; the column
// widths and the TAB inside the GRX curve lines stay as they have always been.
#include <string>

struct HeaderRecord;

namespace zns {

inline constexpr double kLasNull = -999.25;
inline constexpr int kLasWellWidth = 40;

// Export modes (the RecordingMode codes).
enum : int { LAS_MODE_UP = 10, LAS_MODE_DOWN = 11, LAS_MODE_TIME = 12 };

// Ticked channels. Columns always run DEPTH, SPEED, GAMMA, GRX1, TT1, GRX2,
// TT2, GRX3, TT3 (the ticked ones).
struct LasChannels {
    bool speed = false;
    bool gamma = false;
    bool gain[3] = {false, false, false};
    bool travelTime[3] = {false, false, false};
};

// Well value of width `width`: the text without blanks around it, "N/A" when
// nothing is left, then spaces up to the width (one space when it fills the
// width exactly, and as many spaces as it is too long when it is longer).
std::string PadWellValue(const std::string& value, int width);
std::string FormatWellValue(const std::string& value);

// Everything up to and including the data title "~A  DEPTH...".
// `step` is the export's step (m), written negated when `reverse`.
std::string LasHeaderText(const HeaderRecord& header, const LasChannels& channels, int mode, double step,
                          bool reverse, double startDepth, double stopDepth);

// One data line (starting with CR LF) for values in the order depth, speed,
// gamma, gain Rx1, travel time Rx1, gain Rx2, travel time Rx2, gain Rx3,
// travel time Rx3. Empty when the depth is the null value.
std::string LasLineText(const LasChannels& channels, const double values[9]);

}  // namespace zns
