// The configuration file "HxZn.cfg": first start, defaults, load rules, save
// order, LAS parameters, language, file-name fields.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "PrefsTestUtil.h"
#include "platform/FileReplace.h"
#include "settings/SaveReport.h"

using namespace prefs_test;

namespace {

// A sonde with three receivers, so that the trace-length codes survive the load.
const char* kThreeRxTol =
    "[Sonde0]\r\nSerialNumber=1001\r\nRX_Number=3\r\n";

class ConfigTest : public PrefsFixture {};

TEST_F(ConfigTest, FirstStartWritesTheDemonstrationNamesAndDefaultsKeyByKey) {
    CPreferences& p = Prefs();
    p.StartupLoad();

    EXPECT_TRUE(zns::DirExists(dir + "Ressources"));
    EXPECT_TRUE(zns::DirExists(dir + "Calibration"));

    // What the start itself leaves in the file: demonstration names, then the
    // reset of the file defaults that a missing layout file causes.
    std::vector<std::pair<std::string, std::string>> expected = {
        {"FileName", "ZNS_IT_UP.zne"},
        {"LastFile", dir},
        {"DataFile", dir + "Demo/ZNS_IT_UP.zne"},
        {"FilePath", dir},
        {"Tempdir", dir},
        {"languageID", "0"},
        {"PrinterUsed", "none"},
    };
    EXPECT_EQ(zns::IniSectionEntries(Cfg(), "BrannicLogger"), expected);
    EXPECT_TRUE(zns::IniSectionEntries(Cfg(), "LASParam").empty());

    // Then the first save writes every acquisition and display key with its default.
    p.SaveConfig();
    const std::vector<std::pair<std::string, std::string>> saved = {
        {"PulleyDir", "yes"},          {"CableType", "0"},         {"PulleysCircumference", "5000"},
        {"PulsResolution", "1000"},    {"GammaViewMode", "2"},     {"GammaMax", "2000"},
        {"GammaIsAverage", "no"},      {"GammaFilter", "20"},      {"FA_LeftColor", "16777215"},
        {"FA_RightColor", "16777215"}, {"TimeInterval", "500"},    {"DepthInterval", "5"},
        {"VScale", "100"},             {"SondeUsed", "0"},         {"GainRx1", "5"},
        {"GainRx2", "5"},              {"GainRx3", "5"},           {"AGC-Rx1", "no"},
        {"AGC-Rx2", "no"},             {"AGC-Rx3", "no"},          {"RxLeftView", "1"},
        {"RxRightView", "2"},          {"ChnBlanking", "0"},
        // No sonde file: a sonde without receivers clears every trace length.
        {"ZNSModus_Rx1", "0"},         {"ZNSModus_Rx2", "0"},      {"ZNSModus_Rx3", "0"},
        {"Rx1FAThreshold", "10"},      {"Rx1StartWindow", "100"},  {"Rx1EndWindow", "200"},
        {"Rx1UseFA", "no"},            {"Rx2FAThreshold", "10"},   {"Rx2StartWindow", "100"},
        {"Rx2EndWindow", "200"},       {"Rx2UseFA", "no"},         {"Rx3FAThreshold", "10"},
        {"Rx3StartWindow", "100"},     {"Rx3EndWindow", "200"},    {"Rx3UseFA", "no"},
    };
    expected.insert(expected.end(), saved.begin(), saved.end());
    EXPECT_EQ(zns::IniSectionEntries(Cfg(), "BrannicLogger"), expected);

    // Keys the program never writes.
    for (const char* k : {"GammaColor", "RefreshTime", "SelectedSonde", "DebugingTools", "DebugingTrace", "BlackAndWhite"})
        EXPECT_FALSE(Key(k).has_value()) << k;

    // The sonde slot gets the telemetry even though it is free.
    EXPECT_EQ(TolKey("Sonde0", "UpGain"), "5");
    EXPECT_EQ(TolKey("Sonde0", "UpBaudDivisor"), "10");
    EXPECT_EQ(TolKey("Sonde0", "UpholePulseWidth"), "6");
    EXPECT_EQ(TolKey("Sonde0", "DownholeComDataDrv"), "6");
    EXPECT_EQ(TolKey("Sonde0", "Voltage"), "90");

    // Memory matches.
    const FilePaths& fp = data.files;
    EXPECT_EQ(zns::FixedFieldText(fp.szProgramDir), dir);
    EXPECT_EQ(zns::FixedFieldText(fp.szConfigPath), Cfg());
    EXPECT_EQ(zns::FixedFieldText(fp.szFileName), "ZNS_IT_UP.zne");
    EXPECT_EQ(zns::FixedFieldText(fp.szDataFile), dir + "Demo/ZNS_IT_UP.zne");
    EXPECT_EQ(zns::FixedFieldText(fp.szLastFile), dir);
    EXPECT_EQ(zns::FixedFieldText(fp.szFilePath), dir);
    EXPECT_EQ(zns::FixedFieldText(fp.szTempDir), dir);
    EXPECT_EQ(data.g_strExeDir, dir);
    EXPECT_STREQ(data.m_szLanguage, "UK");
    EXPECT_TRUE(data.m_bPreferencesLoaded);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(zns::FileExists(RegistryPath())) << "no switch set: the registry is never touched";
    EXPECT_EQ(zns::FileSize(Dat()), 281);
}

TEST_F(ConfigTest, DemonstrationRuleNeedsFilePathNoneExactly) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFileName=none\r\nFilePath=/logs\r\nLastFile=/logs/a.hed\r\n");
    Prefs().LoadConfig();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFileName), "none");
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), "/logs");
    EXPECT_EQ(zns::FixedFieldText(data.files.szDataFile), "none");
    EXPECT_EQ(Key("FileName"), "none");

    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=None\r\n");
    Restart().LoadConfig();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), "None");

    WriteAll(Cfg(), "[BrannicLogger]\r\nFileName=my.zne\r\nFilePath=none\r\n");
    Restart().LoadConfig();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFileName), "ZNS_IT_UP.zne");
    EXPECT_EQ(zns::FixedFieldText(data.files.szLastFile), dir + "Demo/ZNS_IT_UP.hed");
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), dir + "Demo");
    EXPECT_EQ(Key("FileName"), "ZNS_IT_UP.zne");
    EXPECT_EQ(Key("LastFile"), dir + "Demo/ZNS_IT_UP.hed");
}

TEST_F(ConfigTest, DefaultsWhenTheFileHasNoKeys) {
    WriteTol(kThreeRxTol);
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\n");
    Prefs().LoadConfig();
    const AcquisitionSettings s = Settings();
    const SessionState ss = shared->SnapshotSession();
    EXPECT_EQ(s.PulleyDir, 1);
    EXPECT_EQ(s.CableType, 0);
    EXPECT_EQ(s.PulleysCircumference, 5000);
    EXPECT_EQ(s.PulsResolution, 1000);
    EXPECT_EQ(s.GammaViewMode, 2);
    EXPECT_EQ(s.GammaMax, 2000);
    EXPECT_EQ(s.GammaIsAverage, 0);
    EXPECT_EQ(s.GammaFilter, 20);
    EXPECT_EQ(ss.GammaColor, 16776960u);
    EXPECT_EQ(ss.FA_LeftColor, 16777215u);
    EXPECT_EQ(ss.FA_RightColor, 16777215u);
    EXPECT_EQ(ss.BlackAndWhite, 0);
    EXPECT_EQ(s.TimeInterval, 500);
    EXPECT_EQ(s.DepthInterval, 5);
    EXPECT_EQ(s.VScale, 100);
    EXPECT_EQ(data.m_strPrinterUsed, "none");
    EXPECT_EQ(data.g_nRefreshTime, 50);
    for (int rx = 0; rx < 3; ++rx) {
        EXPECT_EQ(s.FA[rx].Threshold, 10);
        EXPECT_EQ(s.FA[rx].StartWindow, 100);
        EXPECT_EQ(s.FA[rx].EndWindow, 200);
        EXPECT_EQ(s.FA[rx].Use, 0);
        EXPECT_EQ(s.GainRx(rx), 5);
        EXPECT_EQ(s.AGC_Rx(rx), 0);
        EXPECT_EQ(s.ZNSModus(rx), 1);
    }
    EXPECT_EQ(s.RxLeftView, 1);
    EXPECT_EQ(s.RxRightView, 2);
    EXPECT_EQ(s.ChnBlanking, 0);
    EXPECT_EQ(data.sondeDb.nSelected, 0);
    EXPECT_EQ(s.RecordingMode, RECMODE_TIME) << "not a key of the file";
    // The wheel's depth factor is ready before the first command 1.
    EXPECT_EQ(s.DepthFactor256, 20480);
    EXPECT_DOUBLE_EQ(s.DepthFactor, 80.0);
    const LasExportParams& las = data.las;
    for (int rx = 0; rx < 3; ++rx) {
        EXPECT_EQ(las.LASWindThRx[rx], 10);
        EXPECT_EQ(las.LASWindStartRx[rx], 100);
        EXPECT_EQ(las.LASWindEndRx[rx], 200);
        EXPECT_FALSE(las.LASUseGainRx[rx] || las.LASUseTTRx[rx] || las.LASUseManualRx[rx]);
    }
    EXPECT_FALSE(las.LASUseSpeed || las.LASUseNaturalGamma);
    EXPECT_EQ(zns::FixedFieldText(data.files.szTempDir), dir + "temp") << "c:\\temp under the program's folder";
}

// What a load makes of one stored key, read back where the key lands.
struct LoadView {
    const AcquisitionSettings& s;
    const SessionState& ss;
    const SettingsData& d;
};
using LoadGet = long long (*)(const LoadView&);
#define ACQ(expr) [](const LoadView& v) -> long long { return v.s.expr; }
#define SES(expr) [](const LoadView& v) -> long long { return v.ss.expr; }
#define DAT(expr) [](const LoadView& v) -> long long { return v.d.expr; }

struct LoadRule {
    const char* key;
    LoadGet get;
    std::vector<std::pair<const char*, long long>> storedToExpected;
};

TEST_F(ConfigTest, LoadRulesTable) {
    const LoadRule rules[] = {
        {"GammaMax", ACQ(GammaMax),
         {{"50", 65000}, {"99", 65000}, {"100", 100}, {"65000", 65000}, {"65001", 65000}, {"abc", 65000},
          {"99999999999999", 65000}}},
        {"GammaFilter", ACQ(GammaFilter), {{"51", 20}, {"-1", 20}, {"0", 0}, {"50", 50}}},
        {"GammaViewMode", ACQ(GammaViewMode), {{"3", 0}, {"-1", 0}, {"1", 1}}},
        {"GainRx1", ACQ(GainRx1), {{"36", 36}, {"12abc", 12}}},
        {"GainRx2", ACQ(GainRx2), {{"37", 0}}},
        {"GainRx3", ACQ(GainRx3), {{"-1", 0}}},
        {"RefreshTime ", DAT(g_nRefreshTime), {{"10", 50}}},
        {"RefreshTime", DAT(g_nRefreshTime), {{"49", 50}, {"51", 51}}},
        {"ZNSModus_Rx1", ACQ(ZNSModus_Rx1), {{"4", 1}, {"0", 0}}},
        {"ZNSModus_Rx2", ACQ(ZNSModus_Rx2), {{"-1", 1}}},
        {"ZNSModus_Rx3", ACQ(ZNSModus_Rx3), {{"3", 3}}},
        {"PulleysCircumference", ACQ(PulleysCircumference), {{"0", 5000}, {"-20", 5000}, {"4780", 4780}}},
        {"PulsResolution", ACQ(PulsResolution), {{"0", 1000}, {"2500", 2500}}},
        {"TimeInterval", ACQ(TimeInterval), {{"0", 500}, {"65536", 500}, {"65537", 1}, {"70000", 4464}, {"-1", 65535}}},
        {"DepthInterval", ACQ(DepthInterval), {{"0", 5}, {"10", 10}}},
        {"VScale", ACQ(VScale), {{"75", 100}, {"0", 100}, {"25", 25}, {"50", 50}, {"200", 200}, {"500", 500}}},
        {"CableType", ACQ(CableType), {{"2", 0}, {"1", 1}, {"-1", 0}}},
        {"RxLeftView", ACQ(RxLeftView), {{"3", 1}, {"2", 2}, {"0", 1}}},
        {"RxRightView", ACQ(RxRightView), {{"1", 2}, {"3", 3}, {"4", 2}}},
        {"BlackAndWhite", SES(BlackAndWhite), {{"3", 0}, {"2", 2}}},
        {"PulleyDir", ACQ(PulleyDir), {{"no", 0}, {"1", 1}, {"2", 0}, {"YES", 1}}},
        {"ChnBlanking", ACQ(ChnBlanking), {{"7", 7}}},
        {"GammaColor", SES(GammaColor), {{"255", 255}}},
        {"Rx2FAThreshold", ACQ(FA[1].Threshold), {{"-40", -40}}},
        {"Rx3UseFA", ACQ(FA[2].Use), {{"Yes", 1}}},
        {"AGC-Rx2", ACQ(AGC_Rx2), {{"1", 1}}},
        {"SondeUsed", DAT(sondeDb.nSelected), {{"12", 0}, {"7", 7}}},
    };
    WriteTol(std::string(kThreeRxTol) + "[Sonde7]\r\nSerialNumber=7\r\nRX_Number=3\r\n");
    WriteAll(Dat(), std::string(281, '\0'));
    for (const LoadRule& r : rules) {
        for (const auto& [stored, expected] : r.storedToExpected) {
            WriteAll(Cfg(), std::string("[BrannicLogger]\r\nFilePath=/x\r\n") + r.key + "=" + stored + "\r\n");
            Restart().StartupLoad();
            const AcquisitionSettings s = Settings();
            const SessionState ss = shared->SnapshotSession();
            EXPECT_EQ(r.get(LoadView{s, ss, data}), expected) << r.key << "=" << stored;
        }
    }
}
#undef ACQ
#undef SES
#undef DAT

TEST_F(ConfigTest, SelectedSondeIsReadOnlyWhenSondeUsedIsMinusOne) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nSondeUsed=-1\r\nSelectedSonde=4\r\n");
    Prefs().LoadConfig();
    EXPECT_EQ(data.sondeDb.nSelected, 4);

    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nSondeUsed=2\r\nSelectedSonde=4\r\n");
    Restart().LoadConfig();
    EXPECT_EQ(data.sondeDb.nSelected, 2);

    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nSondeUsed=-1\r\nSelectedSonde=40\r\n");
    Restart().LoadConfig();
    EXPECT_EQ(data.sondeDb.nSelected, 0);
}

TEST_F(ConfigTest, SaveConfigWritesValuesAsTheyStandAndKeepsOtherLines) {
    WriteAll(Cfg(),
             "; kept comment\r\n[Other]\r\nA=1\r\n[BrannicLogger]\r\nFilePath=/x\r\nUnknownKey=abc\r\n"
             "GammaColor=255\r\nRefreshTime =80\r\n");
    CPreferences& p = Prefs();
    p.LoadConfig();
    {
        std::lock_guard<std::mutex> g(shared->acqMutex);
        shared->settings.GainRx1 = 99;  // stored by a handler: saved as it is
        shared->settings.TimeInterval = 65535;
        shared->settings.FA[2].Use = 1;
        shared->session.FA_LeftColor = 0x0000FF;
    }
    data.m_strPrinterUsed = "Office printer";
    // Every key of the save goes into one replace of the file: one sync.
    static std::vector<std::string> synced;
    synced.clear();
    zns::detail::SetSyncHook([](int fd) {
        char link[4096] = {};
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
        synced.emplace_back(link, n > 0 ? static_cast<size_t>(n) : 0);
        return 0;
    });
    p.SaveConfig();
    zns::detail::SetSyncHook(nullptr);
    EXPECT_EQ(std::count_if(synced.begin(), synced.end(),
                            [](const std::string& f) { return f.find("HxZn.cfg") != std::string::npos; }),
              1);
    EXPECT_LE(synced.size(), 2u);  // and the sonde file's communication keys, once
    EXPECT_EQ(Key("GainRx1"), "99");
    EXPECT_EQ(Key("TimeInterval"), "65535");
    EXPECT_EQ(Key("Rx3UseFA"), "yes");
    EXPECT_EQ(Key("FA_LeftColor"), "255");
    EXPECT_EQ(Key("PrinterUsed"), "Office printer");
    EXPECT_EQ(Key("UnknownKey"), "abc");
    EXPECT_EQ(Key("GammaColor"), "255");
    EXPECT_EQ(Key("RefreshTime"), "80");
    EXPECT_EQ(Key("A", "Other"), "1");
    const std::string text = ReadAll(Cfg());
    EXPECT_EQ(text.rfind("; kept comment\r\n", 0), 0u);
    EXPECT_NE(text.find("RefreshTime =80"), std::string::npos) << "untouched lines stay byte for byte";
}

TEST_F(ConfigTest, AFailedSaveIsToldOncePerFileUntilASaveOfItWorks) {
    CPreferences& p = Prefs();
    p.StartupLoad();
    static std::vector<std::string> told;
    zns::SetSaveFailureHandler([](const std::string&, const std::string& t, bool) { told.push_back(t); });
    const auto save = [&](int gain, bool full) {  // the configuration, LAS keys and layout
        shared->settings.GainRx1 = gain;
        zns::detail::SetSyncHook(full ? +[](int) { return errno = ENOSPC, -1; } : nullptr);
        p.SaveConfig();
        p.SaveLasParams();
        p.SaveAll();
        zns::detail::SetSyncHook(nullptr);
    };
    save(12, false);
    save(13, true);
    save(14, true);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find(p.ConfigPath() + " could not be saved: No space left on device"), std::string::npos);
    EXPECT_NE(told[1].find(p.LayoutPath()), std::string::npos);
    EXPECT_NE(Key("GainRx1"), "14");  // the file keeps its last whole version
    save(15, false);
    save(16, true);
    EXPECT_EQ(told.size(), 4u);  // each told again after a save of it worked
    EXPECT_EQ(Key("GainRx1"), "15");
    // A save that finds the file holding what it holds shows the same.
    shared->settings.GainRx1 = 15;
    p.SaveConfig();
    save(17, true);
    zns::SetSaveFailureHandler(nullptr);
    EXPECT_EQ(told.size(), 5u);
}

TEST_F(ConfigTest, LasParametersRoundTripInTheirOrder) {
    CPreferences& p = Prefs();
    p.StartupLoad();
    LasExportParams& las = data.las;
    for (int rx = 0; rx < 3; ++rx) {
        las.LASWindThRx[rx] = 20 + rx;
        las.LASWindStartRx[rx] = 120 + rx;
        las.LASWindEndRx[rx] = 300 + rx;
        las.LASUseGainRx[rx] = rx == 0;
        las.LASUseTTRx[rx] = rx == 1;
        las.LASUseManualRx[rx] = rx == 2;
    }
    las.LASUseSpeed = TRUE;
    const std::string pathBefore = p.GetPathName();
    p.SaveLasParams();
    EXPECT_EQ(p.GetPathName(), pathBefore);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"LASWindThRx1", "20"},      {"LASWindThRx2", "21"},      {"LASWindThRx3", "22"},
        {"LASWindStartRx1", "120"},  {"LASWindStartRx2", "121"},  {"LASWindStartRx3", "122"},
        {"LASWindEndRx1", "300"},    {"LASWindEndRx2", "301"},    {"LASWindEndRx3", "302"},
        {"LASUseGainRx1", "yes"},    {"LASUseGainRx2", "no"},     {"LASUseGainRx3", "no"},
        {"LASUseTTRx1", "no"},       {"LASUseTTRx2", "yes"},      {"LASUseTTRx3", "no"},
        {"LASUseManualRx1", "no"},   {"LASUseManualRx2", "no"},   {"LASUseManualRx3", "yes"},
        {"LASUseSpeed", "yes"},      {"LASUseNaturalGamma", "no"},
    };
    EXPECT_EQ(zns::IniSectionEntries(Cfg(), "LASParam"), expected);

    Restart().StartupLoad();
    EXPECT_EQ(data.las.LASWindEndRx[2], 302);
    EXPECT_TRUE(data.las.LASUseTTRx[1]);
    EXPECT_TRUE(data.las.LASUseSpeed);
    EXPECT_FALSE(data.las.LASUseNaturalGamma);
}

TEST_F(ConfigTest, SetLanguageStoresTheCodeAndSavesTheIdentifier) {
    CPreferences& p = Prefs();
    p.StartupLoad();
    locales.clear();
    const struct { uint16_t id; const char* code; } cases[] = {
        {1031, "DE"}, {1036, "FR"}, {2057, "UK"}, {3082, "FR"}, {0, "FR"}, {1033, "FR"}};
    for (const auto& c : cases) {
        p.SetLanguage(c.id);
        EXPECT_STREQ(data.m_szLanguage, c.code) << c.id;
        EXPECT_EQ(data.files.wLanguageId, c.id);
        EXPECT_EQ(Key("languageID"), std::to_string(c.id));
        ASSERT_FALSE(locales.empty());
        EXPECT_EQ(locales.back(), c.id);
    }
    // Never read back: the next start begins with "UK" and id 0.
    Restart().StartupLoad();
    EXPECT_STREQ(data.m_szLanguage, "UK");
    EXPECT_EQ(data.files.wLanguageId, 0);
}

TEST_F(ConfigTest, ResetDefaultsSetsFoldersPlacementAndSaves) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/logs\r\nLastFile=/logs/a.hed\r\nTempdir=/tmp/x\r\n");
    WriteAll(Dat(), std::string(281, '\0'));
    CPreferences& p = Prefs();
    p.StartupLoad();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), "/logs");
    EXPECT_EQ(zns::FixedFieldText(data.files.szTempDir), "/tmp/x");
    EXPECT_TRUE(locales.empty()) << "a layout file that reads is no reason to reset";

    p.ResetDefaults();
    EXPECT_EQ(zns::FixedFieldText(data.files.szLastFile), dir);
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), dir);
    EXPECT_EQ(zns::FixedFieldText(data.files.szTempDir), dir);
    EXPECT_EQ(Key("FilePath"), dir);
    EXPECT_EQ(Key("Tempdir"), dir);
    ASSERT_EQ(locales.size(), 1u);
    EXPECT_EQ(locales[0], 0);
    const WindowPlacement& m = data.layout.placement[LAYOUT_MAIN];
    EXPECT_EQ(m.length, 44u);
    EXPECT_EQ(m.left, 10);
    EXPECT_EQ(m.bottom, 500);
}

TEST_F(ConfigTest, StartupLoadRunsItsLoadingStepsOnce) {
    CPreferences& p = Prefs();
    p.StartupLoad();
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nGainRx1=30\r\n");
    std::system(("rm -rf '" + dir + "Calibration'").c_str());
    p.StartupLoad();
    EXPECT_EQ(Settings().GainRx1, 5);
    EXPECT_TRUE(zns::DirExists(dir + "Calibration")) << "folders are made on every call";
    EXPECT_EQ(zns::FixedFieldText(data.files.szFileName), "ZNS_IT_UP.zne") << "the session's file names stay";
    EXPECT_EQ(zns::FixedFieldText(data.files.szConfigPath), Cfg());
}

TEST_F(ConfigTest, FileNameFieldsRefuseWhatTheyCannotHold) {
    char name[kNameFieldSize];
    ASSERT_TRUE(zns::SetFixedField(name, "old"));
    EXPECT_TRUE(zns::SetFixedField(name, std::string(49, 'a')));
    EXPECT_EQ(zns::FixedFieldText(name).size(), 49u);
    EXPECT_FALSE(zns::SetFixedField(name, std::string(50, 'b')));
    EXPECT_EQ(zns::FixedFieldText(name), std::string(49, 'a')) << "a refused value leaves the field";
    EXPECT_FALSE(zns::SetFixedField(name, std::string("a\0b", 3)));

    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nFileName=" + std::string(60, 'n') + ".zne\r\nDataFile=" +
                        std::string(255, 'd') + "\r\n");
    WriteAll(Dat(), std::string(281, '\0'));
    Prefs().StartupLoad();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFileName), "none");
    EXPECT_EQ(zns::FixedFieldText(data.files.szDataFile), std::string(255, 'd'));
}

TEST_F(ConfigTest, AProgramDirectoryTooLongForTheFieldsNeverOverflows) {
    // The demonstration names grow with the program's folder.
    const std::string deep = dir + std::string(200, 'p') + "/" + std::string(200, 'q') + "/" + std::string(120, 'r') + "/";
    ASSERT_TRUE(zns::MakeDirs(deep));
    PreferencesHooks h = Hooks();
    h.programDir = deep;
    CPreferences p(*shared, data, h);
    p.StartupLoad();
    const FilePaths& fp = data.files;
    EXPECT_LT(::strnlen(fp.szProgramDir, kPathFieldSize), kPathFieldSize);
    EXPECT_LT(::strnlen(fp.szDataFile, kPathFieldSize), kPathFieldSize);
    EXPECT_EQ(zns::FixedFieldText(fp.szFileName), "ZNS_IT_UP.zne");
    EXPECT_EQ(p.ProgramDirectory(), deep);
}

}  // namespace
