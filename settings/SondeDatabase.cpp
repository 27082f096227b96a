// The sonde database's rules, and CPreferences' load and save of the sonde file:
// that part is one unit with Preferences.cpp, split for length and kept beside
// the record it fills.
#include "settings/SondeDatabase.h"

#include <cmath>
#include <mutex>

#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "settings/Preferences.h"

namespace zns {

uint32_t HoldSondeVoltage(uint32_t volts) {
    if (volts < kSondeVoltageMin) return kSondeVoltageMin;
    if (volts > kSondeVoltageMax) return kSondeVoltageMax;
    return volts;
}

bool IsBaudDivisor(int32_t divisor) {
    switch (divisor) {
        case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 12: case 15: case 20: return true;
        default: return false;
    }
}

int32_t MaxUpDriveForDivisor(int32_t divisor) {
    const int64_t m = 4 * static_cast<int64_t>(divisor);
    return m > kDriveMax ? kDriveMax : static_cast<int32_t>(m);
}

void SanitizeSondeRecord(SondeRecord& rec) {
    if (rec.RX_Number < 0) rec.RX_Number = 0;
    if (rec.RX_Number > 3) rec.RX_Number = 3;
    if (!std::isfinite(rec.GammaCoef)) rec.GammaCoef = kSondeDefaultGammaCoef;
}

int32_t HoldTelemetryByte(int32_t value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

int32_t HoldBaudDivisor(int32_t divisor) {
    return divisor <= 0 ? kSondeDefaultBaudDivisor : HoldTelemetryByte(divisor);
}

int32_t TelemetryToStore(int32_t stored, int32_t inUse, bool divisor) {
    const int32_t held = divisor ? HoldBaudDivisor(stored) : HoldTelemetryByte(stored);
    return held == inUse ? stored : inUse;
}

void CopySlotToWorkingCopy(SondeDatabase& db, const SondeRecord& r) {
    db.SerialNumber = r.SerialNumber;
    db.SondeLength = r.SondeLength;
    db.RX_Number = r.RX_Number;
    for (int i = 0; i < 3; ++i) {
        db.OffsetRx[i] = r.OffsetRx[i];
        db.RxName[i] = r.RxName[i];
    }
    db.NaturalGamma = r.NaturalGamma;
    db.GammaOffset = r.GammaOffset;
    db.GammaCoef = r.GammaCoef;
    db.Voltage = HoldSondeVoltage(r.Voltage);
}

void SelectSondeSlot(SondeDatabase& db, AcquisitionSettings& settings, int slot) {
    if (slot < 0 || slot >= kMaxSondes) slot = 0;
    db.nSelected = slot;
    SondeRecord r = db.Slots[static_cast<size_t>(slot)];
    SanitizeSondeRecord(r);
    CopySlotToWorkingCopy(db, r);
    settings.UpGain = HoldTelemetryByte(r.UpGain);
    settings.BaudDivisor = HoldBaudDivisor(r.UpBaudDivisor);
    settings.UpDrive = HoldTelemetryByte(r.UpDrive);
    settings.DownDrive = HoldTelemetryByte(r.DownDrive);
}

void ClearMissingReceivers(AcquisitionSettings& settings, int32_t rxCount) {
    if (rxCount <= 0) settings.ZNSModus_Rx1 = TLC_NONE;
    if (rxCount <= 1) settings.ZNSModus_Rx2 = TLC_NONE;
    if (rxCount <= 2) settings.ZNSModus_Rx3 = TLC_NONE;
}

}  // namespace zns

void CPreferences::LoadToolFile() {
    EnsureProgramDir();
    const std::string previousPath = m_strPathName;
    SetPathName(ToolFilePath());

    // Everything is read into a fresh image, so a reload never keeps stale
    // slots or channels, and memory changes in one step.
    SondeDatabase db;
    int total = GetInt("TotalChannel", 0, "Commun");
    if (total < 0) total = 0;
    if (total > kMaxSondeChannels) total = kMaxSondeChannels;
    db.nTotalChannel = total;

    for (int i = 0; i < kMaxSondes; ++i) {
        const std::string section = zns::Format("Sonde%d", i);
        const char* sec = section.c_str();
        SondeRecord& r = db.Slots[static_cast<size_t>(i)];
        r.SerialNumber = GetInt("SerialNumber", kSondeDefaultSerial, sec);
        r.SondeLength = GetInt("SondeLength", kSondeDefaultLength, sec);
        r.RX_Number = GetInt("RX_Number", kSondeDefaultRxNumber, sec);
        r.OffsetRx[0] = GetInt("OffsetRx1", 0, sec);
        r.OffsetRx[1] = GetInt("OffsetRx2", 0, sec);
        r.OffsetRx[2] = GetInt("OffsetRx3", 0, sec);
        r.RxName[0] = GetString("Rx1_Name", "Near", sec);
        r.RxName[1] = GetString("Rx2_Name", "Medium", sec);
        r.RxName[2] = GetString("Rx3_Name", "Far", sec);
        r.NaturalGamma = GetBool("Natural_Gamma", FALSE, sec);
        r.GammaOffset = GetInt("Gamma_Offset ", kSondeDefaultGammaOffset, sec);
        r.GammaCoef = GetFloat("GammaCoef", static_cast<float>(kSondeDefaultGammaCoef), sec);
        r.Voltage = static_cast<uint32_t>(GetInt("Voltage", static_cast<int>(kSondeDefaultVoltage), sec));
        r.UpGain = GetInt("UpGain", kSondeDefaultUpGain, sec);
        r.UpBaudDivisor = GetInt("UpBaudDivisor", kSondeDefaultBaudDivisor, sec);
        r.UpDrive = GetInt("UpholePulseWidth", kSondeDefaultUpDrive, sec);
        r.DownDrive = GetInt("DownholeComDataDrv", kSondeDefaultDownDrive, sec);
        zns::SanitizeSondeRecord(r);
    }

    for (int k = 0; k < total; ++k) {
        const std::string section = zns::Format("Channel%d", k);
        const char* sec = section.c_str();
        SondeChannel& c = db.Channels[static_cast<size_t>(k)];
        c.Title = GetString("Title", "", sec);
        c.TitleShort = GetString("TitleShort", "", sec);
        c.Unit = GetString("Unit", "", sec);
        c.SampleType = GetInt("SampleType", 0, sec);
    }
    m_strPathName = previousPath;

    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    AcquisitionSettings& s = m_shared.settings;
    zns::SelectSondeSlot(db, s, m_data.sondeDb.nSelected);
    zns::ClearMissingReceivers(s, db.RX_Number);
    m_data.sondeDb = std::move(db);
}

void CPreferences::SaveSondeComm() {
    EnsureProgramDir();
    int selected;
    uint32_t voltage;
    AcquisitionSettings s;
    SondeRecord slot;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        SondeDatabase& db = m_data.sondeDb;
        if (db.nSelected < 0 || db.nSelected >= kMaxSondes) db.nSelected = 0;
        selected = db.nSelected;
        voltage = db.Voltage;
        s = m_shared.settings;
        slot = db.Slots[static_cast<size_t>(selected)];
    }
    const std::string previousPath = m_strPathName;
    SetPathName(ToolFilePath());
    const std::string section = zns::Format("Sonde%d", selected);
    BeginBatch();
    // What the load held for the link never replaces what the file holds.
    WriteInt("UpGain", zns::TelemetryToStore(slot.UpGain, s.UpGain, false), section.c_str());
    WriteInt("UpBaudDivisor", zns::TelemetryToStore(slot.UpBaudDivisor, s.BaudDivisor, true));
    WriteInt("UpholePulseWidth", zns::TelemetryToStore(slot.UpDrive, s.UpDrive, false));
    WriteInt("DownholeComDataDrv", zns::TelemetryToStore(slot.DownDrive, s.DownDrive, false));
    WriteInt("Voltage", static_cast<int>(voltage));
    EndBatch();
    m_strPathName = previousPath;
}
