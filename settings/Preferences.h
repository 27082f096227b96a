#pragma once
// The settings store. CPreferences moves every persistent setting between the
// files of the program's directory and the records in memory:
//   "HxZn.cfg"             configuration (sections "BrannicLogger", "LASParam")
//   "HxZn.dat"             window layout (settings/WindowLayout.h)
//   "Ressources/HxZNS.tol" sonde database (settings/SondeDatabase.h)
//   registry switches      settings/RegistryKey.h
//   "error_Zenova.log"     settings/ErrorLog.h
// Values are checked when loaded (each falls back to its default or clamp) and
// written as they stand. All operations run on the GUI thread except
// WriteErrorLog, which any thread may call.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"
#include "settings/Ini.h"
#include "settings/RegistryKey.h"
#include "settings/SondeDatabase.h"
#include "settings/WindowLayout.h"

struct SharedData;
struct AcquisitionSettings;

inline constexpr size_t kPathFieldSize = 510;  // 509 characters and the zero
inline constexpr size_t kNameFieldSize = 50;   // 49 characters and the zero

// File names of the program. Each field is a zero-terminated string that never
// holds more than its width less one: a longer value is refused (SetFixedField).
struct FilePaths {
    char szProgramDir[kPathFieldSize] = {};  // program directory, ending in '/'
    char szConfigPath[kPathFieldSize] = {};  // full path of "HxZn.cfg"
    char szLastFile[kPathFieldSize] = {};    // "LastFile": header file of the last log
    char szFilePath[kPathFieldSize] = {};    // "FilePath": folder of the last log
    char szDataFile[kPathFieldSize] = {};    // "DataFile": current data file
    char szFileName[kNameFieldSize] = {};    // "FileName": name of the current data file
    char szHeaderName[kNameFieldSize] = {};  // current header file name
    char szTempDir[kPathFieldSize] = {};     // "Tempdir"
    uint16_t wLanguageId = 0;                // "languageID"
};

// Parameters of the LAS export (section "LASParam").
struct LasExportParams {
    int LASWindThRx[3] = {10, 10, 10};
    int LASWindStartRx[3] = {100, 100, 100};
    int LASWindEndRx[3] = {200, 200, 200};
    BOOL LASUseGainRx[3] = {FALSE, FALSE, FALSE};
    BOOL LASUseTTRx[3] = {FALSE, FALSE, FALSE};
    BOOL LASUseManualRx[3] = {FALSE, FALSE, FALSE};
    BOOL LASUseSpeed = FALSE;
    BOOL LASUseNaturalGamma = FALSE;
};

// The records the settings store fills besides those of SharedData. The
// application object owns one, next to its SharedData.
struct SettingsData {
    FilePaths files;
    WindowLayout layout;
    SondeDatabase sondeDb;
    RegistrySwitches registry;
    LasExportParams las;
    std::string m_strPrinterUsed = "none";
    char m_szLanguage[3] = {'F', 'R', '\0'};
    int g_nRefreshTime = 50;         // ms, repaint delay of the trace image
    std::string g_strExeDir;         // program directory, ending in '/'
    bool m_bPreferencesLoaded = false;
};

// What the store needs from the program around it.
struct PreferencesHooks {
    // Plain OK message box ("Debugging mode!"); none shows nothing.
    std::function<void(const std::string&)> messageBox;
    // The platform's thread locale for a Windows language id; none does nothing.
    std::function<void(uint16_t)> setThreadLocale;
    // Program directory; empty means zns::ProgramDir().
    std::string programDir;
    // File of the registry stand-in; empty means the user's default store.
    std::string registryPath;
};

namespace zns {

// Copies `text` into a fixed field when it fits (with its zero) and holds no
// zero byte; otherwise leaves the field as it is and returns false.
template <size_t N>
bool SetFixedField(char (&field)[N], std::string_view text) {
    if (text.size() >= N || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(field, text.data(), text.size());
    std::memset(field + text.size(), 0, N - text.size());
    return true;
}

template <size_t N>
std::string FixedFieldText(const char (&field)[N]) {
    return std::string(field, ::strnlen(field, N));
}

// The display scales the trace image knows.
bool IsDisplayScale(int vscale);

}  // namespace zns

class CPreferences : public CIni {
public:
    static constexpr const char* kConfigFile = "HxZn.cfg";
    static constexpr const char* kLayoutFile = "HxZn.dat";
    static constexpr const char* kToolFile = "Ressources/HxZNS.tol";
    static constexpr const char* kSection = "BrannicLogger";
    static constexpr const char* kLasSection = "LASParam";
    static constexpr const char* kMsgDebuggingMode = "Debugging mode!";

    // Defaults of the configuration keys that the loader may fall back to.
    static constexpr int kDefCableType = 0;
    static constexpr int kDefPulleysCircumference = 5000;
    static constexpr int kDefPulsResolution = 1000;
    static constexpr int kDefGammaViewMode = 2;
    static constexpr int kDefGammaMax = 2000;
    static constexpr int kDefGammaFilter = 20;
    static constexpr uint32_t kDefGammaColor = 16776960;
    static constexpr uint32_t kDefFAColor = 16777215;
    static constexpr int kDefTimeInterval = 500;
    static constexpr int kDefDepthInterval = 5;
    static constexpr int kDefVScale = 100;
    static constexpr int kDefBlackAndWhite = 0;
    static constexpr int kDefRefreshTime = 50;
    static constexpr int kDefFAThreshold = 10;
    static constexpr int kDefStartWindow = 100;
    static constexpr int kDefEndWindow = 200;
    static constexpr int kDefGain = 5;
    static constexpr int kDefZNSModus = 1;
    static constexpr int kDefRxLeftView = 1;
    static constexpr int kDefRxRightView = 2;
    static constexpr int kDefChnBlanking = 0;
    static constexpr int kDefSondeUsed = -1;
    static constexpr int kDefSelectedSonde = 0;

    CPreferences(SharedData& shared, SettingsData& data, PreferencesHooks hooks = {});
    ~CPreferences() override;
    CPreferences(const CPreferences&) = delete;
    CPreferences& operator=(const CPreferences&) = delete;

    // Once per run: program directory and its folders, the configuration, the
    // sonde database, the window layout (defaults when it cannot be read).
    void StartupLoad();

    void LoadConfig();
    // Acquisition and display keys, then the selected sonde's telemetry.
    void SaveConfig();
    // Registry switches (only when one is set), file-name keys, "languageID",
    // "PrinterUsed" and the whole layout file. Always FALSE.
    BOOL SaveAll();
    void SaveLasParams();
    // File-name defaults and a default main-window placement, then SaveAll.
    void ResetDefaults();
    void SetLanguage(uint16_t languageId);

    // The sonde database (Ressources/HxZNS.tol).
    void LoadToolFile();
    void SaveSondeComm();

    // Error log entry; only written while "DebugingTools" is on. Any thread.
    static void WriteErrorLog(const std::string& key, const std::string& value);

    const std::string& ProgramDirectory() const { return m_strProgramDir; }
    std::string ConfigPath() const { return m_strProgramDir + kConfigFile; }
    std::string LayoutPath() const { return m_strProgramDir + kLayoutFile; }
    std::string ToolFilePath() const { return m_strProgramDir + kToolFile; }

    SettingsData& Data() { return m_data; }
    SharedData& Shared() { return m_shared; }

protected:
    std::string m_strProgramDir;
    FilePaths* m_pFilePaths = nullptr;
    WindowLayout* m_pWindowLayout = nullptr;
    CRegistryKey m_regKey;

private:
    // The program directory (ending in '/') when StartupLoad has not set it yet.
    void EnsureProgramDir();
    void ReadRegistrySwitches();
    void WriteRegistrySwitches();
    // A Windows default ("c:\temp", "c:\") as a folder under the program's directory.
    std::string MappedDefault(const char* windowsPath) const;

    SharedData& m_shared;
    SettingsData& m_data;
    PreferencesHooks m_hooks;
};
