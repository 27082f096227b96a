// CPreferences. Its sonde-file part is in SondeDatabase.cpp: one unit, split for length.
#include "settings/Preferences.h"

#include <cmath>
#include <cstdint>
#include <mutex>

#include "records/SharedRecords.h"
#include "platform/Paths.h"
#include "settings/ErrorLog.h"
#include "settings/SaveReport.h"

namespace {

int InRangeOr(int v, int lo, int hi, int fallback) { return v < lo || v > hi ? fallback : v; }

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

// A fixed field takes the value when it fits, else the fallback (when that fits).
template <size_t N>
void FillField(char (&field)[N], const std::string& value, const std::string& fallback) {
    if (!zns::SetFixedField(field, value) && !zns::SetFixedField(field, fallback)) zns::SetFixedField(field, "");
}

const char* const kRxName[3] = {"Rx1", "Rx2", "Rx3"};

}  // namespace

namespace zns {

bool IsDisplayScale(int vscale) {
    return vscale == 25 || vscale == 50 || vscale == 100 || vscale == 200 || vscale == 500;
}

}  // namespace zns

CPreferences::CPreferences(SharedData& shared, SettingsData& data, PreferencesHooks hooks)
    : CIni(TRUE), m_regKey(hooks.registryPath), m_shared(shared), m_data(data), m_hooks(std::move(hooks)) {}

CPreferences::~CPreferences() { m_regKey.Close(); }

void CPreferences::EnsureProgramDir() {
    if (m_strProgramDir.empty())
        m_strProgramDir = WithSlash(m_hooks.programDir.empty() ? zns::ProgramDir() : m_hooks.programDir);
}

void CPreferences::WriteErrorLog(const std::string& key, const std::string& value) {
    zns::ErrorLog::Process().Write(key, value);
}

std::string CPreferences::MappedDefault(const char* windowsPath) const {
    // "c:\" is the program's directory itself, "c:\temp" its "temp" folder.
    std::string rest = zns::ToSlashes(windowsPath);
    if (rest.size() >= 2 && rest[1] == ':') rest.erase(0, 2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return m_strProgramDir + rest;
}

// ---------------------------------------------------------------- start-up

void CPreferences::StartupLoad() {
    m_pFilePaths = &m_data.files;
    m_pWindowLayout = &m_data.layout;
    m_strProgramDir.clear();
    EnsureProgramDir();
    // A second call must not wipe the file names of the running session.
    if (!m_data.m_bPreferencesLoaded) m_data.files = FilePaths{};
    m_data.g_strExeDir = m_strProgramDir;
    zns::SetFixedField(m_data.files.szProgramDir, m_strProgramDir);

    // Existing folders and failures alike are ignored.
    zns::MakeDirs(m_strProgramDir + "Ressources");
    zns::MakeDirs(m_strProgramDir + "Calibration");

    if (m_data.m_bPreferencesLoaded) return;

    LoadConfig();
    LoadToolFile();

    WindowLayout layout;
    switch (zns::ReadLayoutFile(LayoutPath(), layout)) {
        case zns::LayoutReadResult::Ok:
            m_data.layout = layout;
            break;
        case zns::LayoutReadResult::ReadError:
            m_data.layout = WindowLayout{};
            ResetDefaults();
            break;
        case zns::LayoutReadResult::Missing:
            ResetDefaults();
            break;
    }
    m_data.m_bPreferencesLoaded = true;
}

// ---------------------------------------------------------------- registry

void CPreferences::ReadRegistrySwitches() {
    RegistrySwitches& r = m_data.registry;
    if (m_regKey.Open(HKEY_CURRENT_USER, g_strRegistryKey)) {
        m_regKey.GetBool(r.g_bTechnicalTools, "TechnicalTools", FALSE);
        m_regKey.GetBool(r.g_bDebugingTools, "DebugingTools", FALSE);
        m_regKey.GetBool(r.g_bDebugingTrace, "DebugingTrace", FALSE);
        m_regKey.GetBool(r.g_bFullTracing, "FullTracing", FALSE);
        m_regKey.Close();
    } else {
        r = RegistrySwitches{};
    }
}

void CPreferences::WriteRegistrySwitches() {
    const RegistrySwitches& r = m_data.registry;
    // A user who never had the key never gets one.
    if (!r.AnySaved()) return;
    if (!m_regKey.Open(HKEY_CURRENT_USER, g_strRegistryKey) && !m_regKey.Create(HKEY_CURRENT_USER, g_strRegistryKey))
        return;
    m_regKey.SetBool(r.g_bTechnicalTools, "TechnicalTools");
    m_regKey.SetBool(r.g_bDebugingTools, "DebugingTools");
    m_regKey.SetBool(r.g_bDebugingTrace, "DebugingTrace");
    m_regKey.SetBool(r.g_bFullTracing, "FullTracing");
    m_regKey.Close();
}

// ---------------------------------------------------------------- configuration

void CPreferences::LoadConfig() {
    EnsureProgramDir();
    m_pFilePaths = &m_data.files;
    m_pWindowLayout = &m_data.layout;
    FilePaths& fp = m_data.files;

    const std::string cfg = ConfigPath();
    zns::SetFixedField(fp.szConfigPath, cfg);
    CIni ini(cfg, kSection, TRUE);

    // File names, and the demonstration log on a first start.
    const std::string defTemp = MappedDefault("c:\\temp");
    const std::string tempDir = ini.GetString("Tempdir", defTemp);
    std::string fileName = ini.GetString("FileName", "none");
    std::string lastFile = ini.GetString("LastFile", "none");
    std::string dataFile = ini.GetString("DataFile", "none");
    std::string filePath = ini.GetString("FilePath", "none");
    if (filePath == "none") {
        fileName = "ZNS_IT_UP.zne";
        lastFile = m_strProgramDir + "Demo/ZNS_IT_UP.hed";
        dataFile = m_strProgramDir + "Demo/ZNS_IT_UP.zne";
        filePath = m_strProgramDir + "Demo";
        ini.BeginBatch();
        ini.WriteString("FileName", fileName);
        ini.WriteString("LastFile", lastFile);
        ini.WriteString("DataFile", dataFile);
        ini.WriteString("FilePath", filePath);
        ini.EndBatch();
    }
    // A value longer than its field is refused: the field takes the key's default.
    FillField(fp.szTempDir, tempDir, defTemp);
    FillField(fp.szFileName, fileName, "none");
    FillField(fp.szLastFile, lastFile, "none");
    FillField(fp.szDataFile, dataFile, "none");
    FillField(fp.szFilePath, filePath, "none");

    // Registry switches.
    ReadRegistrySwitches();
    const RegistrySwitches& reg = m_data.registry;
    if ((reg.g_bDebugingTools || reg.g_bDebugingTrace) && m_hooks.messageBox) m_hooks.messageBox(kMsgDebuggingMode);
    if (reg.g_bDebugingTrace) zns::RemoveFile(m_strProgramDir + "Trace_ZNS.log");

    // Configuration switches: the error log, and a fresh trace file.
    const BOOL debugTools = ini.GetBool("DebugingTools", FALSE);
    const BOOL debugTrace = ini.GetBool("DebugingTrace", FALSE);
    zns::ErrorLog& log = zns::ErrorLog::Process();
    log.SetFolder(m_strProgramDir);
    log.SetEnabled(debugTools == TRUE);
    if (debugTrace == TRUE) zns::RemoveFile(m_strProgramDir + "Trace_Zenova.log");

    // Numbers are formatted without the global locale (platform/NumText.h), so
    // only the language code is set here.
    std::memcpy(m_data.m_szLanguage, "UK", 3);

    // Acquisition and display keys, in file order, each checked as it arrives.
    // Fields that are not in the file (recording mode, depth datum, telemetry)
    // keep what memory holds.
    AcquisitionSettings s = m_shared.SnapshotSettings();
    s.PulleyDir = ini.GetBool("PulleyDir", TRUE) ? 1 : 0;
    s.CableType = InRangeOr(ini.GetInt("CableType", kDefCableType), 0, 1, kDefCableType);
    {
        // Both feed a division: zero or below falls back to the default.
        const int w10 = ini.GetInt("PulleysCircumference", kDefPulleysCircumference);
        s.PulleysCircumference = w10 > 0 ? w10 : kDefPulleysCircumference;
        const int n = ini.GetInt("PulsResolution", kDefPulsResolution);
        s.PulsResolution = n > 0 ? n : kDefPulsResolution;
    }
    s.GammaViewMode = InRangeOr(ini.GetInt("GammaViewMode", kDefGammaViewMode), 0, 2, 0);
    s.GammaMax = InRangeOr(ini.GetInt("GammaMax", kDefGammaMax), 100, 65000, 65000);
    s.GammaIsAverage = ini.GetBool("GammaIsAverage", FALSE);
    s.GammaFilter = InRangeOr(ini.GetInt("GammaFilter", kDefGammaFilter), 0, 50, kDefGammaFilter);
    const uint32_t gammaColor = static_cast<uint32_t>(ini.GetInt("GammaColor", static_cast<int>(kDefGammaColor)));
    const uint32_t faLeft = static_cast<uint32_t>(ini.GetInt("FA_LeftColor", static_cast<int>(kDefFAColor)));
    const uint32_t faRight = static_cast<uint32_t>(ini.GetInt("FA_RightColor", static_cast<int>(kDefFAColor)));
    {
        // Low 16 bits; an interval of zero would stall the logger's sampling.
        const uint16_t t = static_cast<uint16_t>(ini.GetInt("TimeInterval", kDefTimeInterval) & 0xFFFF);
        s.TimeInterval = t != 0 ? t : static_cast<uint16_t>(kDefTimeInterval);
        const uint16_t d = static_cast<uint16_t>(ini.GetInt("DepthInterval", kDefDepthInterval) & 0xFFFF);
        s.DepthInterval = d != 0 ? d : static_cast<uint16_t>(kDefDepthInterval);
    }
    {
        const int v = ini.GetInt("VScale", kDefVScale);
        s.VScale = zns::IsDisplayScale(v) ? v : kDefVScale;
    }
    m_data.m_strPrinterUsed = ini.GetString("PrinterUsed", "none");
    const int blackAndWhite = InRangeOr(ini.GetInt("BlackAndWhite", kDefBlackAndWhite), 0, 2, kDefBlackAndWhite);
    {
        const int r = ini.GetInt("RefreshTime ", kDefRefreshTime);
        m_data.g_nRefreshTime = r < kDefRefreshTime ? kDefRefreshTime : r;
    }
    for (int rx = 0; rx < 3; ++rx) {
        const std::string p = kRxName[rx];
        s.FA[rx].Threshold = ini.GetInt(p + "FAThreshold", kDefFAThreshold);
        s.FA[rx].StartWindow = ini.GetInt(p + "StartWindow", kDefStartWindow);
        s.FA[rx].EndWindow = ini.GetInt(p + "EndWindow", kDefEndWindow);
        s.FA[rx].Use = ini.GetBool(p + "UseFA", FALSE);
    }
    for (int rx = 0; rx < 3; ++rx)
        s.GainRx(rx) = InRangeOr(ini.GetInt(std::string("Gain") + kRxName[rx], kDefGain), 0, 36, 0);
    for (int rx = 0; rx < 3; ++rx) s.AGC_Rx(rx) = ini.GetBool(std::string("AGC-") + kRxName[rx], FALSE);
    for (int rx = 0; rx < 3; ++rx)
        s.ZNSModus(rx) = InRangeOr(ini.GetInt(std::string("ZNSModus_") + kRxName[rx], kDefZNSModus), TLC_NONE,
                                   TLC_512_8US, kDefZNSModus);
    s.RxLeftView = InRangeOr(ini.GetInt("RxLeftView", kDefRxLeftView), 1, 2, kDefRxLeftView);
    s.RxRightView = InRangeOr(ini.GetInt("RxRightView", kDefRxRightView), 2, 3, kDefRxRightView);
    s.ChnBlanking = ini.GetInt("ChnBlanking", kDefChnBlanking);
    int selected = ini.GetInt("SondeUsed", kDefSondeUsed);
    if (selected == -1) selected = ini.GetInt("SelectedSonde", kDefSelectedSonde);

    // Depth factor from the wheel, as the command-1 builder computes it (saturating:
    // a fine encoder on a tiny wheel exceeds the i32 range), so that depth counts
    // convert before the first command has been sent.
    {
        const double f256 = std::trunc(s.PulsResolution / (s.PulleysCircumference / 10.0) * 40.0 * 256.0);
        s.DepthFactor256 = f256 >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(f256);
    }
    s.DepthFactor = s.DepthFactor256 * 0.00390625;

    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings = s;
        m_shared.session.BlackAndWhite = blackAndWhite;
        m_shared.session.GammaColor = gammaColor;
        m_shared.session.FA_LeftColor = faLeft;
        m_shared.session.FA_RightColor = faRight;
        m_data.sondeDb.nSelected = selected;
    }

    // LAS export parameters.
    LasExportParams& las = m_data.las;
    ini.SetSection(kLasSection);
    for (int rx = 0; rx < 3; ++rx) las.LASWindThRx[rx] = ini.GetInt(std::string("LASWindTh") + kRxName[rx], 10);
    for (int rx = 0; rx < 3; ++rx) las.LASWindStartRx[rx] = ini.GetInt(std::string("LASWindStart") + kRxName[rx], 100);
    for (int rx = 0; rx < 3; ++rx) las.LASWindEndRx[rx] = ini.GetInt(std::string("LASWindEnd") + kRxName[rx], 200);
    for (int rx = 0; rx < 3; ++rx) las.LASUseGainRx[rx] = ini.GetBool(std::string("LASUseGain") + kRxName[rx], FALSE);
    for (int rx = 0; rx < 3; ++rx) las.LASUseTTRx[rx] = ini.GetBool(std::string("LASUseTT") + kRxName[rx], FALSE);
    for (int rx = 0; rx < 3; ++rx)
        las.LASUseManualRx[rx] = ini.GetBool(std::string("LASUseManual") + kRxName[rx], FALSE);
    las.LASUseSpeed = ini.GetBool("LASUseSpeed", FALSE);
    las.LASUseNaturalGamma = ini.GetBool("LASUseNaturalGamma", FALSE);

    LoadToolFile();
}

void CPreferences::SaveConfig() {
    EnsureProgramDir();
    const AcquisitionSettings s = m_shared.SnapshotSettings();
    const SessionState session = m_shared.SnapshotSession();
    int selected;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        selected = m_data.sondeDb.nSelected;
    }
    CIni ini(ConfigPath(), kSection, TRUE);
    ini.BeginBatch();
    ini.WriteBool("PulleyDir", s.PulleyDir ? TRUE : FALSE);
    ini.WriteInt("CableType", s.CableType);
    ini.WriteInt("PulleysCircumference", s.PulleysCircumference);
    ini.WriteInt("PulsResolution", s.PulsResolution);
    ini.WriteInt("GammaViewMode", s.GammaViewMode);
    ini.WriteInt("GammaMax", s.GammaMax);
    ini.WriteBool("GammaIsAverage", s.GammaIsAverage);
    ini.WriteInt("GammaFilter", s.GammaFilter);
    ini.WriteInt("FA_LeftColor", static_cast<int>(session.FA_LeftColor));
    ini.WriteInt("FA_RightColor", static_cast<int>(session.FA_RightColor));
    ini.WriteInt("TimeInterval", s.TimeInterval);
    ini.WriteInt("DepthInterval", s.DepthInterval);
    ini.WriteInt("VScale", s.VScale);
    ini.WriteInt("SondeUsed", selected);
    ini.WriteString("PrinterUsed", m_data.m_strPrinterUsed);
    for (int rx = 0; rx < 3; ++rx) ini.WriteInt(std::string("Gain") + kRxName[rx], s.GainRx(rx));
    for (int rx = 0; rx < 3; ++rx) ini.WriteBool(std::string("AGC-") + kRxName[rx], s.AGC_Rx(rx));
    ini.WriteInt("RxLeftView", s.RxLeftView);
    ini.WriteInt("RxRightView", s.RxRightView);
    ini.WriteInt("ChnBlanking", s.ChnBlanking);
    for (int rx = 0; rx < 3; ++rx) ini.WriteInt(std::string("ZNSModus_") + kRxName[rx], s.ZNSModus(rx));
    for (int rx = 0; rx < 3; ++rx) {
        const std::string p = kRxName[rx];
        ini.WriteInt(p + "FAThreshold", s.FA[rx].Threshold);
        ini.WriteInt(p + "StartWindow", s.FA[rx].StartWindow);
        ini.WriteInt(p + "EndWindow", s.FA[rx].EndWindow);
        ini.WriteBool(p + "UseFA", s.FA[rx].Use);
    }
    ini.EndBatch();
    SaveSondeComm();
}

BOOL CPreferences::SaveAll() {
    EnsureProgramDir();
    WriteRegistrySwitches();

    const FilePaths& fp = m_data.files;
    CIni ini(ConfigPath(), kSection, TRUE);
    ini.BeginBatch();
    ini.WriteString("Tempdir", zns::FixedFieldText(fp.szTempDir));
    ini.WriteString("LastFile", zns::FixedFieldText(fp.szLastFile));
    ini.WriteString("FileName", zns::FixedFieldText(fp.szFileName));
    ini.WriteString("DataFile", zns::FixedFieldText(fp.szDataFile));
    ini.WriteString("FilePath", zns::FixedFieldText(fp.szFilePath));
    ini.WriteInt("languageID", fp.wLanguageId);
    ini.WriteString("PrinterUsed", m_data.m_strPrinterUsed);
    ini.EndBatch();

    m_data.layout.mark = 1;
    zns::NoteSave(LayoutPath(), zns::WriteLayoutFile(LayoutPath(), m_data.layout));
    return FALSE;
}

void CPreferences::SaveLasParams() {
    EnsureProgramDir();
    const LasExportParams& las = m_data.las;
    CIni ini(ConfigPath(), kLasSection, TRUE);
    ini.BeginBatch();
    for (int rx = 0; rx < 3; ++rx) ini.WriteInt(std::string("LASWindTh") + kRxName[rx], las.LASWindThRx[rx]);
    for (int rx = 0; rx < 3; ++rx) ini.WriteInt(std::string("LASWindStart") + kRxName[rx], las.LASWindStartRx[rx]);
    for (int rx = 0; rx < 3; ++rx) ini.WriteInt(std::string("LASWindEnd") + kRxName[rx], las.LASWindEndRx[rx]);
    for (int rx = 0; rx < 3; ++rx) ini.WriteBool(std::string("LASUseGain") + kRxName[rx], las.LASUseGainRx[rx]);
    for (int rx = 0; rx < 3; ++rx) ini.WriteBool(std::string("LASUseTT") + kRxName[rx], las.LASUseTTRx[rx]);
    for (int rx = 0; rx < 3; ++rx) ini.WriteBool(std::string("LASUseManual") + kRxName[rx], las.LASUseManualRx[rx]);
    ini.WriteBool("LASUseSpeed", las.LASUseSpeed);
    ini.WriteBool("LASUseNaturalGamma", las.LASUseNaturalGamma);
    ini.EndBatch();
}

void CPreferences::ResetDefaults() {
    EnsureProgramDir();
    FilePaths& fp = m_data.files;
    const std::string root = MappedDefault("c:\\");
    FillField(fp.szLastFile, root, "");
    FillField(fp.szFilePath, root, "");
    FillField(fp.szTempDir, root, "");

    if (m_hooks.setThreadLocale) m_hooks.setThreadLocale(fp.wLanguageId);

    WindowPlacement& main = m_data.layout.placement[LAYOUT_MAIN];
    main = WindowPlacement{};
    main.length = static_cast<uint32_t>(kPlacementSize);
    main.left = 10;
    main.top = 10;
    main.right = 700;
    main.bottom = 500;

    SaveAll();
}

void CPreferences::SetLanguage(uint16_t languageId) {
    m_data.files.wLanguageId = languageId;
    const char* code = languageId == 1031 ? "DE" : languageId == 1036 ? "FR" : languageId == 2057 ? "UK" : "FR";
    std::memcpy(m_data.m_szLanguage, code, 3);
    SaveAll();
    if (m_hooks.setThreadLocale) m_hooks.setThreadLocale(languageId);
}
