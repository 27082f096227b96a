#pragma once
// The sonde database: up to ten stored sondes (file "Ressources/HxZNS.tol"),
// the channel list that every log header describes, and the working copy of
// the selected sonde that the rest of the program reads.
//
// The working copy and nSelected are written under SharedData::acqMutex by the
// loader (the command-1 builder may read the voltage on the receive thread).
#include <array>
#include <cstdint>
#include <string>

struct AcquisitionSettings;

inline constexpr int kMaxSondes = 10;
inline constexpr int kMaxSondeChannels = 50;

// Defaults of a missing key of a "Sonde%d" section.
inline constexpr int32_t kSondeDefaultSerial = -1;
inline constexpr int32_t kSondeDefaultLength = 300;
inline constexpr int32_t kSondeDefaultRxNumber = 0;
inline constexpr int32_t kSondeDefaultGammaOffset = 180;
inline constexpr double kSondeDefaultGammaCoef = 1.0;
inline constexpr uint32_t kSondeDefaultVoltage = 90;
inline constexpr int32_t kSondeDefaultUpGain = 5;
inline constexpr int32_t kSondeDefaultBaudDivisor = 10;
inline constexpr int32_t kSondeDefaultUpDrive = 6;    // "UpholePulseWidth"
inline constexpr int32_t kSondeDefaultDownDrive = 6;  // "DownholeComDataDrv"

// Values a removed sonde keeps in its slot (serial -999 marks it free).
inline constexpr int32_t kSondeRemovedSerial = -999;
inline constexpr int32_t kSondeRemovedLength = 193;

// Supply voltage the sonde may be given, volts.
inline constexpr uint32_t kSondeVoltageMin = 80;
inline constexpr uint32_t kSondeVoltageMax = 100;

// Telemetry ranges of the communication page (what the operator may enter there).
inline constexpr int32_t kUpGainMin = 0, kUpGainMax = 40;
inline constexpr int32_t kDriveMin = 5, kDriveMax = 60;

struct SondeRecord {
    int32_t SerialNumber = kSondeDefaultSerial;  // > 0: slot in use; <= 0: free
    int32_t SondeLength = kSondeDefaultLength;
    int32_t RX_Number = kSondeDefaultRxNumber;    // 0..3
    int32_t OffsetRx[3] = {0, 0, 0};
    std::string RxName[3] = {"Near", "Medium", "Far"};
    int32_t NaturalGamma = 0;                     // bool
    int32_t GammaOffset = kSondeDefaultGammaOffset;
    double GammaCoef = kSondeDefaultGammaCoef;
    uint32_t Voltage = kSondeDefaultVoltage;      // as stored; the working copy holds it to 80..100
    int32_t UpGain = kSondeDefaultUpGain;
    int32_t UpBaudDivisor = kSondeDefaultBaudDivisor;
    int32_t DownDrive = kSondeDefaultDownDrive;   // "DownholeComDataDrv"
    int32_t UpDrive = kSondeDefaultUpDrive;       // "UpholePulseWidth"

    bool InUse() const { return SerialNumber > 0; }
};

struct SondeChannel {
    std::string Title;
    std::string TitleShort;
    std::string Unit;
    int32_t SampleType = 0;
};

struct SondeDatabase {
    int32_t nSelected = 0;  // slot 0..9

    // Working copy of the selected sonde (its telemetry lives in AcquisitionSettings).
    int32_t SerialNumber = kSondeDefaultSerial;
    int32_t SondeLength = kSondeDefaultLength;
    int32_t nTotalChannel = 0;  // channel entries, 0..50
    int32_t RX_Number = kSondeDefaultRxNumber;
    int32_t OffsetRx[3] = {0, 0, 0};
    std::string RxName[3] = {"Near", "Medium", "Far"};
    int32_t NaturalGamma = 0;
    int32_t GammaOffset = kSondeDefaultGammaOffset;
    double GammaCoef = kSondeDefaultGammaCoef;
    uint32_t Voltage = kSondeDefaultVoltage;  // always 80..100

    std::array<SondeChannel, kMaxSondeChannels> Channels{};
    std::array<SondeRecord, kMaxSondes> Slots{};
};

namespace zns {

// The voltage held to 80..100 (a stored 300 must never reach a command byte as 44).
uint32_t HoldSondeVoltage(uint32_t volts);
// One of 4, 5, 6, 7, 8, 9, 10, 12, 15, 20.
bool IsBaudDivisor(int32_t divisor);
// Largest uphole drive for a baud divisor: 4 x divisor, at most 60.
int32_t MaxUpDriveForDivisor(int32_t divisor);
// Keeps what the rest of the program indexes with sound: receiver count 0..3
// and a gamma coefficient that is a finite number (else 1.0). The telemetry
// (gain, baud divisor, drives) and the voltage stay as stored.
void SanitizeSondeRecord(SondeRecord& rec);
// A stored telemetry value as the settings may carry it: each one is a command
// byte (held to 0..255) and the baud divisor is divided by (0 or below gives 10).
// Any value the link accepts passes unchanged.
int32_t HoldTelemetryByte(int32_t value);
int32_t HoldBaudDivisor(int32_t divisor);
// The value to store for a telemetry field: the settings' value, unless it is
// only the stand-in the hold above made for the stored one, which then stays.
int32_t TelemetryToStore(int32_t stored, int32_t inUse, bool divisor);

// Working copy := slot's sonde values (serial .. voltage, voltage held to 80..100).
void CopySlotToWorkingCopy(SondeDatabase& db, const SondeRecord& slot);

// Copies slot `slot` (clamped to 0..9, which becomes nSelected) into the working
// copy, voltage held to 80..100, and its uphole gain, baud divisor and drives
// into `settings`. Used by the loader and by the sonde selection of the probe page.
void SelectSondeSlot(SondeDatabase& db, AcquisitionSettings& settings, int slot);

// Receivers the sonde does not have lose their trace length: count 0 clears
// Rx1..Rx3, 1 clears Rx2 and Rx3, 2 clears Rx3.
void ClearMissingReceivers(AcquisitionSettings& settings, int32_t rxCount);

}  // namespace zns
