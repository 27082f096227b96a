// The configuration load (CPreferences::LoadConfig) over any "HxZn.cfg".
//
// Every loaded value is within its clamp, every file-name field holds a
// terminated text that fits it, and saving what was loaded (SaveConfig,
// SaveAll, SaveLasParams) and loading again gives the same settings: a
// broken file settles after one load and save.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "records/SharedRecords.h"
#include "settings/ErrorLog.h"
#include "settings/Preferences.h"

namespace {

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    static bool made = std::filesystem::create_directories(dir.Path() + "/Ressources");
    (void)made;
    return dir;
}

template <size_t N>
void CheckField(const char (&f)[N], const char* what) {
    FUZZ_CHECK(::strnlen(f, N) < N, "%s is not terminated", what);
    FUZZ_CHECK(std::memchr(f, '\n', N) == nullptr, "%s spans lines", what);
}

void CheckLoaded(const SharedData& shared, const SettingsData& data) {
    const AcquisitionSettings s = shared.SnapshotSettings();
    const SessionState ss = shared.SnapshotSession();
    FUZZ_CHECK(s.PulleyDir == 0 || s.PulleyDir == 1);
    FUZZ_CHECK(s.CableType == 0 || s.CableType == 1);
    FUZZ_CHECK(s.PulleysCircumference > 0 && s.PulsResolution > 0);
    FUZZ_CHECK(std::isfinite(s.DepthFactor) && s.DepthFactor == s.DepthFactor256 * 0.00390625);
    FUZZ_CHECK(s.GammaViewMode >= 0 && s.GammaViewMode <= 2);
    FUZZ_CHECK(s.GammaMax >= 100 && s.GammaMax <= 65000);
    FUZZ_CHECK(s.GammaFilter >= 0 && s.GammaFilter <= 50);
    FUZZ_CHECK(s.TimeInterval != 0 && s.DepthInterval != 0);
    FUZZ_CHECK(zns::IsDisplayScale(s.VScale));
    for (int rx = 0; rx < 3; ++rx) {
        FUZZ_CHECK(s.GainRx(rx) >= 0 && s.GainRx(rx) <= 36);
        FUZZ_CHECK(s.ZNSModus(rx) >= TLC_NONE && s.ZNSModus(rx) <= TLC_512_8US);
    }
    FUZZ_CHECK(s.RxLeftView == 1 || s.RxLeftView == 2);
    FUZZ_CHECK(s.RxRightView == 2 || s.RxRightView == 3);
    FUZZ_CHECK(ss.BlackAndWhite >= 0 && ss.BlackAndWhite <= 2);
    FUZZ_CHECK(data.g_nRefreshTime >= 50);
    FUZZ_CHECK(zns::IsBaudDivisor(s.BaudDivisor) && s.UpGain >= 0 && s.UpGain <= 40);
    FUZZ_CHECK(s.DownDrive >= 5 && s.DownDrive <= 60);
    FUZZ_CHECK(s.UpDrive >= 5 && s.UpDrive <= zns::MaxUpDriveForDivisor(s.BaudDivisor));
    FUZZ_CHECK(data.sondeDb.nSelected >= 0 && data.sondeDb.nSelected < kMaxSondes, "slot %d", data.sondeDb.nSelected);
    CheckField(data.files.szTempDir, "Tempdir");
    CheckField(data.files.szFileName, "FileName");
    CheckField(data.files.szLastFile, "LastFile");
    CheckField(data.files.szDataFile, "DataFile");
    CheckField(data.files.szFilePath, "FilePath");
    FUZZ_CHECK(data.m_strPrinterUsed.size() <= 255);
}

// A text once written and read again: on one line, blanks around it trimmed.
std::string Stored(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

#define SAME(field) FUZZ_CHECK(a.field == b.field, "%s differs after a save and load", #field)

void CheckSame(const AcquisitionSettings& a, const AcquisitionSettings& b) {
    SAME(PulleyDir); SAME(CableType); SAME(PulleysCircumference); SAME(PulsResolution); SAME(DepthFactor256);
    SAME(GammaViewMode); SAME(GammaMax); SAME(GammaIsAverage); SAME(GammaFilter); SAME(TimeInterval);
    SAME(DepthInterval); SAME(VScale); SAME(RxLeftView); SAME(RxRightView); SAME(ChnBlanking);
    SAME(UpGain); SAME(BaudDivisor); SAME(UpDrive); SAME(DownDrive);
    for (int rx = 0; rx < 3; ++rx) {
        SAME(FA[rx].Threshold); SAME(FA[rx].StartWindow); SAME(FA[rx].EndWindow); SAME(FA[rx].Use);
        SAME(GainRx(rx)); SAME(AGC_Rx(rx)); SAME(ZNSModus(rx));
    }
}

void CheckSame(const SettingsData& a, const SettingsData& b) {
    SAME(g_nRefreshTime); SAME(sondeDb.nSelected);
    FUZZ_CHECK(Stored(a.m_strPrinterUsed) == b.m_strPrinterUsed, "PrinterUsed differs");
    FUZZ_CHECK(Stored(a.files.szTempDir) == b.files.szTempDir, "Tempdir differs after a save and load");
    FUZZ_CHECK(Stored(a.files.szFileName) == b.files.szFileName, "FileName differs");
    FUZZ_CHECK(Stored(a.files.szLastFile) == b.files.szLastFile, "LastFile differs");
    FUZZ_CHECK(Stored(a.files.szDataFile) == b.files.szDataFile, "DataFile differs");
    FUZZ_CHECK(Stored(a.files.szFilePath) == b.files.szFilePath, "FilePath differs");
    for (int rx = 0; rx < 3; ++rx) {
        SAME(las.LASWindThRx[rx]); SAME(las.LASWindStartRx[rx]); SAME(las.LASWindEndRx[rx]);
        SAME(las.LASUseGainRx[rx]); SAME(las.LASUseTTRx[rx]); SAME(las.LASUseManualRx[rx]);
    }
    SAME(las.LASUseSpeed); SAME(las.LASUseNaturalGamma);
}

void CheckSame(const SessionState& a, const SessionState& b) {
    SAME(BlackAndWhite); SAME(GammaColor); SAME(FA_LeftColor); SAME(FA_RightColor);
}

#undef SAME

struct Rig {
    SharedData shared;
    SettingsData data;
    CPreferences prefs;
    explicit Rig(const PreferencesHooks& h) : prefs(shared, data, h) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PreferencesHooks hooks;
    hooks.programDir = Scratch().Path();
    hooks.registryPath = Scratch().File("registry");
    const std::string cfg = Scratch().File(CPreferences::kConfigFile);
    fuzz::WriteFile(cfg, data, size);
    fuzz::Backdate(cfg);

    Rig a(hooks);
    a.prefs.LoadConfig();
    CheckLoaded(a.shared, a.data);
    a.prefs.SaveConfig();
    a.prefs.SaveAll();
    a.prefs.SaveLasParams();

    fuzz::Backdate(cfg);
    fuzz::Backdate(Scratch().File("Ressources/HxZNS.tol"));
    Rig b(hooks);
    b.prefs.LoadConfig();
    CheckLoaded(b.shared, b.data);
    CheckSame(a.shared.SnapshotSettings(), b.shared.SnapshotSettings());
    CheckSame(a.data, b.data);
    CheckSame(a.shared.SnapshotSession(), b.shared.SnapshotSession());

    zns::ErrorLog::Process().SetEnabled(false);
    std::filesystem::remove(Scratch().File("Ressources/HxZNS.tol"));
    return 0;
}
