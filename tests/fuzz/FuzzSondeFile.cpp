// The sonde database loader (CPreferences::LoadToolFile) over any
// "Ressources/HxZNS.tol" content and any previously selected slot.
//
// After loading, every slot holds its telemetry as stored, the working copy is
// the selected slot with its voltage held to 80..100, the telemetry settings
// are that slot's values held to what a command byte and a division carry, and
// the receivers the sonde lacks are off.
// Saving the communication values (SaveSondeComm) and loading again changes
// nothing that was loaded, in the selected slot or any other.
#include <cmath>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "records/SharedRecords.h"
#include "platform/IniFile.h"
#include "settings/Preferences.h"

namespace {

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    static bool made = std::filesystem::create_directories(dir.Path() + "/Ressources");
    (void)made;
    return dir;
}

void CheckSlot(const SondeRecord& s, int i) {
    FUZZ_CHECK(s.RX_Number >= 0 && s.RX_Number <= 3, "slot %d: %d receivers", i, s.RX_Number);
    FUZZ_CHECK(std::isfinite(s.GammaCoef), "slot %d: gamma coefficient", i);
    for (const std::string& n : s.RxName) FUZZ_CHECK(n.size() <= zns::kIniValueMax && n.find('\0') == std::string::npos);
}

bool SameSlot(const SondeRecord& a, const SondeRecord& b) {
    return a.SerialNumber == b.SerialNumber && a.SondeLength == b.SondeLength && a.RX_Number == b.RX_Number &&
           a.OffsetRx[0] == b.OffsetRx[0] && a.OffsetRx[1] == b.OffsetRx[1] && a.OffsetRx[2] == b.OffsetRx[2] &&
           a.RxName[0] == b.RxName[0] && a.RxName[1] == b.RxName[1] && a.RxName[2] == b.RxName[2] &&
           a.NaturalGamma == b.NaturalGamma && a.GammaOffset == b.GammaOffset && a.GammaCoef == b.GammaCoef &&
           a.Voltage == b.Voltage && a.UpGain == b.UpGain && a.UpBaudDivisor == b.UpBaudDivisor &&
           a.DownDrive == b.DownDrive && a.UpDrive == b.UpDrive;
}

void CheckLoaded(const SettingsData& data, const AcquisitionSettings& s, int selectedBefore) {
    const SondeDatabase& db = data.sondeDb;
    const int expectSel = selectedBefore >= 0 && selectedBefore < kMaxSondes ? selectedBefore : 0;
    FUZZ_CHECK(db.nSelected == expectSel, "slot %d selected for %d", db.nSelected, selectedBefore);
    FUZZ_CHECK(db.nTotalChannel >= 0 && db.nTotalChannel <= kMaxSondeChannels);
    FUZZ_CHECK(db.Voltage >= kSondeVoltageMin && db.Voltage <= kSondeVoltageMax, "voltage %u", db.Voltage);
    for (int i = 0; i < kMaxSondes; ++i) CheckSlot(db.Slots[static_cast<size_t>(i)], i);

    const SondeRecord& sel = db.Slots[static_cast<size_t>(db.nSelected)];
    FUZZ_CHECK(db.SerialNumber == sel.SerialNumber && db.SondeLength == sel.SondeLength &&
               db.RX_Number == sel.RX_Number && db.GammaCoef == sel.GammaCoef && db.GammaOffset == sel.GammaOffset);
    FUZZ_CHECK(db.Voltage == zns::HoldSondeVoltage(sel.Voltage));
    FUZZ_CHECK(s.UpGain == zns::HoldTelemetryByte(sel.UpGain) && s.BaudDivisor == zns::HoldBaudDivisor(sel.UpBaudDivisor) &&
                   s.UpDrive == zns::HoldTelemetryByte(sel.UpDrive) && s.DownDrive == zns::HoldTelemetryByte(sel.DownDrive),
               "telemetry settings are not the selected sonde's");
    for (int32_t v : {s.UpGain, s.BaudDivisor, s.UpDrive, s.DownDrive})
        FUZZ_CHECK(v >= 0 && v <= 255, "telemetry %d is no command byte", v);
    FUZZ_CHECK(s.BaudDivisor != 0, "zero baud divisor");
    for (int rx = 0; rx < 3; ++rx)
        FUZZ_CHECK(s.ZNSModus(rx) == (rx < db.RX_Number ? TLC_512_8US : TLC_NONE), "receiver %d of %d", rx + 1,
                   db.RX_Number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int selectedBefore = static_cast<int>(data[0] % 16) - 3;  // -3 .. 12
    const std::string tol = Scratch().File("Ressources/HxZNS.tol");
    fuzz::WriteFile(tol, data + 1, size - 1);
    fuzz::Backdate(tol);

    SharedData shared;
    SettingsData sdata;
    PreferencesHooks hooks;
    hooks.programDir = Scratch().Path();
    hooks.registryPath = Scratch().File("registry");
    CPreferences prefs(shared, sdata, hooks);
    sdata.sondeDb.nSelected = selectedBefore;
    for (int rx = 0; rx < 3; ++rx) shared.settings.ZNSModus(rx) = TLC_512_8US;
    prefs.LoadToolFile();
    FUZZ_CHECK(prefs.ToolFilePath() == tol);
    CheckLoaded(sdata, shared.SnapshotSettings(), selectedBefore);

    int total = zns::IniGetInt(tol, "Commun", "TotalChannel", 0);
    total = total < 0 ? 0 : total > kMaxSondeChannels ? kMaxSondeChannels : total;
    FUZZ_CHECK(sdata.sondeDb.nTotalChannel == total);

    // Save the communication values and load again: nothing moves.
    const SondeDatabase first = sdata.sondeDb;
    const AcquisitionSettings firstSettings = shared.SnapshotSettings();
    prefs.SaveSondeComm();
    fuzz::Backdate(tol);
    prefs.LoadToolFile();
    const SondeDatabase& again = sdata.sondeDb;
    CheckLoaded(sdata, shared.SnapshotSettings(), first.nSelected);
    for (int i = 0; i < kMaxSondes; ++i) {
        SondeRecord want = first.Slots[static_cast<size_t>(i)];
        if (i == first.nSelected) want.Voltage = first.Voltage;  // saved as held
        FUZZ_CHECK(SameSlot(again.Slots[static_cast<size_t>(i)], want), "slot %d changed by a save and load", i);
    }
    for (int k = 0; k < first.nTotalChannel; ++k) {
        const SondeChannel &a = first.Channels[static_cast<size_t>(k)], &b = again.Channels[static_cast<size_t>(k)];
        FUZZ_CHECK(a.Title == b.Title && a.TitleShort == b.TitleShort && a.Unit == b.Unit && a.SampleType == b.SampleType,
                   "channel %d changed by a save and load", k);
    }
    const AcquisitionSettings s2 = shared.SnapshotSettings();
    FUZZ_CHECK(s2.UpGain == firstSettings.UpGain && s2.BaudDivisor == firstSettings.BaudDivisor &&
               s2.UpDrive == firstSettings.UpDrive && s2.DownDrive == firstSettings.DownDrive);
    return 0;
}
