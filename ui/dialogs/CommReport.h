#pragma once
// The communication report: one text file per sonde and cable type, rewritten
// by every accepted or refused auto-check, listing the baud rates that passed
// with the drives and gain range found at each. Std only.
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace zns {

// One result row of the auto-check (21 bytes in the original table).
struct CheckRow {
    int32_t downDrive = 0;
    int32_t upDrive = 0;
    int32_t gainMin = 0;
    int32_t gainMax = 0;
    int32_t baudDivisor = 0;
    uint8_t valid = 0;
};
inline constexpr int kCheckRowCount = 20;

// "reporting_<%04d serial>_<4cond|mono>.txt" inside `programDir` (which ends in '/').
std::string CommReportPath(const std::string& programDir, int32_t serial, int32_t cableType);
// The whole report text with '\n' line ends.
std::string CommReportText(int32_t serial, int32_t cableType, const LocalTime& date, const CheckRow* rows,
                           int rowCount);
// Writes the text with CR LF line ends, replacing any earlier file. False when
// the file cannot be created or written.
bool WriteCommReportFile(const std::string& path, const std::string& text);

}  // namespace zns
