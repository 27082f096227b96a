#pragma once
// Sonde database editing outside the window: reading a sonde import file
// (".znc" or ".txt", INI syntax, section "Sonde"), finding the slot an import
// goes to, and the keys an import, a removal or a gamma-coefficient edit
// writes into the sonde database file. Std only.
#include <cstdint>
#include <string>

#include "settings/SondeDatabase.h"

namespace zns {

// What a sonde import file holds; missing keys take these defaults.
struct SondeImport {
    int32_t SerialNumber = kSondeRemovedSerial;  // -999
    int32_t SondeLength = kSondeRemovedLength;   // 193
    int32_t RX_Number = 0;
    int32_t OffsetRx[3] = {0, 0, 0};
    std::string RxName[3] = {"Near", "Medium", "Far"};
    int32_t NaturalGamma = 0;
    int32_t GammaOffset = 180;
    double GammaCoef = 1.0;   // held: above 10.0 gives 10.0, below 0.01 gives 1.0
    uint32_t Voltage = 90;
    bool HasSection = false;  // the file holds a "Sonde" section
};

inline constexpr double kImportCoefMax = 10.0;
inline constexpr double kImportCoefMin = 0.01;

// The gamma coefficient of an import file as it is taken (a non-number gives 1.0).
double HoldImportedGammaCoef(double coef);

// True when `chosenPath` is a ".znc" or ".txt" file (extension in any letter
// case), or its folder holds its title (name less extension) with ".znc" or ".txt".
bool SondeImportFileExists(const std::string& chosenPath);
// An import that describes a sonde: a "Sonde" section and a serial number above 0.
bool IsSondeImportUsable(const SondeImport& imp);

// Reads section "Sonde" of an import file (a missing file or section gives the defaults).
SondeImport ReadSondeImport(const std::string& path);

// Slots in use counted from slot 0, up to the first whose serial number is 0 or below.
int CountLeadingSondes(const SondeDatabase& db);
// First slot 0..9 holding this serial number; -1 when none.
int FindSondeSlot(const SondeDatabase& db, int32_t serial);

// The slot takes the imported values; its telemetry (gain, baud, drives) stays.
void ApplySondeImport(SondeRecord& slot, const SondeImport& imp);
// The values a removed slot keeps (serial -999, length 193, ...); telemetry stays.
void ClearSondeSlot(SondeRecord& slot);

// Section "Sonde<slot>" of the sonde database file `toolPath`:
// an import's keys ("Gamma_Offset" and "GammaCoef" only with natural gamma);
void WriteImportedSonde(const std::string& toolPath, int slot, const SondeImport& imp);
// "Voltage" of an import, written after the configuration has been saved;
void WriteSondeVoltage(const std::string& toolPath, int slot, uint32_t volts);
// a removal's keys;
void WriteRemovedSonde(const std::string& toolPath, int slot);
// "GammaCoef" as "%#.2f".
void WriteSondeGammaCoef(const std::string& toolPath, int slot, double coef);

}  // namespace zns
