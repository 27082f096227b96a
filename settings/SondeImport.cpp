#include "settings/SondeImport.h"

#include <cmath>

#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "settings/Ini.h"

namespace zns {

namespace {

std::string SectionOf(int slot) { return Format("Sonde%d", slot); }

// A CIni bound to an absolute path (no program-directory resolution).
CIni ToolIni(const std::string& path, int slot) { return CIni(path, SectionOf(slot), FALSE); }

}  // namespace

double HoldImportedGammaCoef(double coef) {
    if (!std::isfinite(coef)) return 1.0;
    if (coef > kImportCoefMax) return kImportCoefMax;
    if (coef < kImportCoefMin) return 1.0;
    return coef;
}

bool SondeImportFileExists(const std::string& chosenPath) {
    const size_t slash = chosenPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : chosenPath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? chosenPath : chosenPath.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    const std::string title = dot == std::string::npos ? name : name.substr(0, dot);
    if (title.empty()) return false;
    // The file dialog lists "*.ZNC" and "*.znc" alike.
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if ((ext == ".znc" || ext == ".txt") && FileExists(chosenPath)) return true;
    return FileExists(folder + title + ".znc") || FileExists(folder + title + ".txt");
}

SondeImport ReadSondeImport(const std::string& path) {
    SondeImport s;
    CIni ini(path, "Sonde", FALSE);
    s.HasSection = IniHasSection(ini.GetPathName(), "Sonde");
    s.SerialNumber = ini.GetInt("SerialNumber", kSondeRemovedSerial);
    s.SondeLength = ini.GetInt("SondeLength", kSondeRemovedLength);
    s.RX_Number = ini.GetInt("RX_Number", 0);
    s.OffsetRx[0] = ini.GetInt("OffsetRx1", 0);
    s.OffsetRx[1] = ini.GetInt("OffsetRx2", 0);
    s.OffsetRx[2] = ini.GetInt("OffsetRx3", 0);
    s.RxName[0] = ini.GetString("Rx1_Name", "Near");
    s.RxName[1] = ini.GetString("Rx2_Name", "Medium");
    s.RxName[2] = ini.GetString("Rx3_Name", "Far");
    s.NaturalGamma = ini.GetBool("Natural_Gamma", FALSE);
    s.GammaOffset = ini.GetInt("Gamma_Offset ", 180);
    // Either decimal mark is taken: a sonde file written under a "," locale must not lose its coefficient.
    s.GammaCoef = HoldImportedGammaCoef(ini.GetDouble("GammaCoef", 1.0));
    // A receiver count the link cannot carry would index past the three receivers.
    if (s.RX_Number < 0) s.RX_Number = 0;
    if (s.RX_Number > 3) s.RX_Number = 3;
    const int v = ini.GetInt("Voltage", 90);
    s.Voltage = v < 0 ? 0u : static_cast<uint32_t>(v);
    return s;
}

bool IsSondeImportUsable(const SondeImport& imp) { return imp.HasSection && imp.SerialNumber > 0; }

int CountLeadingSondes(const SondeDatabase& db) {
    int n = 0;
    while (n < kMaxSondes && db.Slots[size_t(n)].SerialNumber > 0) ++n;
    return n;
}

int FindSondeSlot(const SondeDatabase& db, int32_t serial) {
    for (int i = 0; i < kMaxSondes; ++i)
        if (db.Slots[size_t(i)].SerialNumber == serial) return i;
    return -1;
}

void ApplySondeImport(SondeRecord& slot, const SondeImport& imp) {
    slot.SerialNumber = imp.SerialNumber;
    slot.SondeLength = imp.SondeLength;
    slot.RX_Number = imp.RX_Number;
    for (int i = 0; i < 3; ++i) {
        slot.OffsetRx[i] = imp.OffsetRx[i];
        slot.RxName[i] = imp.RxName[i];
    }
    slot.NaturalGamma = imp.NaturalGamma;
    slot.GammaOffset = imp.GammaOffset;
    slot.GammaCoef = imp.GammaCoef;
    slot.Voltage = imp.Voltage;
}

void ClearSondeSlot(SondeRecord& slot) {
    SondeImport removed;
    removed.GammaOffset = 100;
    ApplySondeImport(slot, removed);
}

void WriteImportedSonde(const std::string& toolPath, int slot, const SondeImport& imp) {
    CIni ini = ToolIni(toolPath, slot);
    ini.BeginBatch();  // written at the end of scope, once
    ini.WriteString("SerialNumber", Format("%04d", imp.SerialNumber));
    ini.WriteInt("SondeLength", imp.SondeLength);
    ini.WriteInt("RX_Number", imp.RX_Number);
    ini.WriteInt("OffsetRx1", imp.OffsetRx[0]);
    ini.WriteInt("OffsetRx2", imp.OffsetRx[1]);
    ini.WriteInt("OffsetRx3", imp.OffsetRx[2]);
    ini.WriteString("Rx1_Name", imp.RxName[0]);
    ini.WriteString("Rx2_Name", imp.RxName[1]);
    ini.WriteString("Rx3_Name", imp.RxName[2]);
    ini.WriteBool("Natural_Gamma", imp.NaturalGamma ? TRUE : FALSE);
    if (imp.NaturalGamma) {
        ini.WriteInt("Gamma_Offset", imp.GammaOffset);
        ini.WriteString("GammaCoef", Format("%g", imp.GammaCoef));
    }
}

void WriteSondeVoltage(const std::string& toolPath, int slot, uint32_t volts) {
    ToolIni(toolPath, slot).WriteInt("Voltage", static_cast<int>(volts));
}

void WriteRemovedSonde(const std::string& toolPath, int slot) {
    CIni ini = ToolIni(toolPath, slot);
    ini.BeginBatch();  // written at the end of scope, once
    ini.WriteString("SerialNumber", "-999");
    ini.WriteInt("SondeLength", kSondeRemovedLength);
    ini.WriteInt("RX_Number", 0);
    ini.WriteInt("OffsetRx1", 0);
    ini.WriteInt("OffsetRx2", 0);
    ini.WriteInt("OffsetRx3", 0);
    ini.WriteString("Rx1_Name", "Near");
    ini.WriteString("Rx2_Name", "Medium");
    ini.WriteString("Rx3_Name", "Far");
    ini.WriteBool("Natural_Gamma", FALSE);
}

void WriteSondeGammaCoef(const std::string& toolPath, int slot, double coef) {
    ToolIni(toolPath, slot).WriteString("GammaCoef", Format("%#.2f", coef));
}

}  // namespace zns
