// Telemetry link between logger and sonde: whether a frame gets through for given
// drives, gain and baud divisor.
#include <algorithm>

#include "sim/SimLogger.h"

namespace zns::sim {

// Frame status bits.
namespace {
constexpr uint8_t kValid = 0x01;
constexpr uint8_t kNoResponse = 0x02;
constexpr uint8_t kChecksum = 0x08;
}  // namespace

// Downhole: the sonde hears the logger only within a band of drives (too weak is lost
// in the cable noise, too strong overloads the sonde's receiver).
bool SimLogger::DownholeReaches(const SimConfig& cfg, Scenario s, int downDrive) {
    if (s == Scenario::SondeNeverAnswers) return false;
    if (s == Scenario::NoPassingDrive) return downDrive >= 61 && downDrive <= 99;
    return downDrive >= cfg.downDriveMin && downDrive <= cfg.downDriveMax;
}

uint8_t SimLogger::LinkStatus(const SimConfig& cfg, Scenario s, int downDrive, int upGain,
                              int upDrive, int baudDivisor) {
    if (s == Scenario::SondeNeverAnswers) return kNoResponse;

    if (!DownholeReaches(cfg, s, downDrive)) return kNoResponse;

    if (baudDivisor < 4) return kNoResponse;
    // Uphole pulses wider than the bit allows run into each other.
    if (upDrive > 4 * baudDivisor) return kChecksum;

    // Uphole receiver: below the window the pulses are not detected, above it the
    // noise makes bit errors. The window narrows as the baud rises and closes just
    // past the fastest usable divisor.
    const double stress = 20.0 / baudDivisor - 1.0;
    const double fastStress = 20.0 / std::clamp(cfg.fastestBaudDivisor, 4, 20) - 1.0;
    const double x = fastStress > 0.0 ? stress / fastStress : stress * 10.0;
    const double gLow = 8.0 + 6.0 * x + std::max(0, 10 - upDrive) * 0.5;
    const double gHigh = 30.0 - 9.0 * x;
    if (upGain < gLow) return kNoResponse;
    if (upGain > gHigh) return kChecksum;
    return kValid;
}

}  // namespace zns::sim
