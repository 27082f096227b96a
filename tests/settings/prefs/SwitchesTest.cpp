// Registry switches, debugging message, trace files and the error log.
#include "PrefsTestUtil.h"

#include "platform/Clock.h"
#include "platform/Registry.h"

using namespace prefs_test;

namespace {

class SwitchesTest : public PrefsFixture {
protected:
    void SetSwitch(const std::string& name, const std::string& text) {
        zns::Registry reg(RegistryPath());
        ASSERT_TRUE(reg.SetString(g_strRegistryKey, name, text));
    }
    std::optional<std::string> Switch(const std::string& name) {
        return zns::Registry(RegistryPath()).QueryString(g_strRegistryKey, name);
    }
    void StartWithCfg(const std::string& cfgKeys) {
        WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\n" + cfgKeys);
        WriteAll(Dat(), std::string(281, '\0'));
        Restart().StartupLoad();
    }
};

TEST_F(SwitchesTest, NoKeyMeansEverySwitchOffAndTheKeyIsNeverCreated) {
    StartWithCfg("");
    const RegistrySwitches& r = data.registry;
    EXPECT_EQ(r.g_bTechnicalTools + r.g_bDebugingTools + r.g_bDebugingTrace + r.g_bFullTracing, 0);
    Prefs().SaveAll();
    EXPECT_FALSE(zns::FileExists(RegistryPath()));
    EXPECT_TRUE(messages.empty());
}

TEST_F(SwitchesTest, OnlyTrueInAnyCaseWithBlanksCountsAsSet) {
    const struct { const char* text; uint8_t set; } cases[] = {
        {"true", 1}, {"TRUE", 1}, {"  True  ", 1}, {"yes", 0}, {"1", 0}, {"", 0}, {"truee", 0}, {"false", 0}};
    for (const auto& c : cases) {
        SetSwitch("DebugingTools", c.text);
        messages.clear();
        StartWithCfg("");
        EXPECT_EQ(data.registry.g_bDebugingTools, c.set) << "'" << c.text << "'";
        EXPECT_EQ(messages.size(), c.set ? 1u : 0u) << c.text;
        if (c.set) {
            EXPECT_EQ(messages[0], "Debugging mode!");
        }
    }
}

TEST_F(SwitchesTest, TheDebuggingMessageAndTheTraceFiles) {
    WriteAll(dir + "Trace_ZNS.log", "old");
    WriteAll(dir + "Trace_Zenova.log", "old");
    SetSwitch("TechnicalTools", "true");
    SetSwitch("FullTracing", "true");
    StartWithCfg("");
    EXPECT_TRUE(messages.empty()) << "TechnicalTools and FullTracing are only carried";
    EXPECT_EQ(data.registry.g_bTechnicalTools, 1);
    EXPECT_EQ(data.registry.g_bFullTracing, 1);
    EXPECT_TRUE(zns::FileExists(dir + "Trace_ZNS.log"));
    EXPECT_TRUE(zns::FileExists(dir + "Trace_Zenova.log"));

    SetSwitch("DebugingTrace", "true");
    StartWithCfg("");
    EXPECT_EQ(messages, std::vector<std::string>{"Debugging mode!"});
    EXPECT_FALSE(zns::FileExists(dir + "Trace_ZNS.log"));
    EXPECT_TRUE(zns::FileExists(dir + "Trace_Zenova.log"));

    StartWithCfg("DebugingTrace=yes\r\n");
    EXPECT_FALSE(zns::FileExists(dir + "Trace_Zenova.log"));
}

TEST_F(SwitchesTest, SaveAllWritesTheFourSwitchesOnlyWhenOneOfThreeIsSet) {
    StartWithCfg("");
    data.registry.g_bFullTracing = 1;  // alone, not a reason to write
    Prefs().SaveAll();
    EXPECT_FALSE(zns::FileExists(RegistryPath()));

    data.registry.g_bTechnicalTools = 1;
    Prefs().SaveAll();
    EXPECT_EQ(Switch("TechnicalTools"), "true");
    EXPECT_EQ(Switch("DebugingTools"), "false");
    EXPECT_EQ(Switch("DebugingTrace"), "false");
    EXPECT_EQ(Switch("FullTracing"), "true");

    StartWithCfg("");
    EXPECT_EQ(data.registry.g_bTechnicalTools, 1);
    EXPECT_EQ(data.registry.g_bFullTracing, 1);
}

TEST_F(SwitchesTest, RegistryKeyWrapper) {
    CRegistryKey key(RegistryPath());
    std::string text = "stale";
    EXPECT_FALSE(key.QueryString("x", text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, g_strRegistryKey));
    EXPECT_FALSE(key.SetBool(TRUE, "TechnicalTools")) << "closed key";
    uint8_t b = 7;
    key.GetBool(b, "TechnicalTools", TRUE);
    EXPECT_EQ(b, 1);
    key.GetBool(b, "TechnicalTools", FALSE);
    EXPECT_EQ(b, 0);

    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, g_strRegistryKey));
    EXPECT_TRUE(key.SetBool(5, "TechnicalTools"));
    EXPECT_TRUE(key.QueryString("TechnicalTools", text));
    EXPECT_EQ(text, "true");
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, "software\\halvex\\zns\\technicaltools")) << "names ignore case";
    key.GetBool(b, "TechnicalTools", FALSE);
    EXPECT_EQ(b, 1);
}

TEST_F(SwitchesTest, TheErrorLogIsWrittenOnlyWithTheConfigurationSwitch) {
    zns::FakeClock clock;
    zns::ErrorLog::Process().SetClock(&clock);
    const std::string logPath = dir + "error_Zenova.log";

    SetSwitch("DebugingTools", "true");
    StartWithCfg("");
    CPreferences::WriteErrorLog("err1050", "Invalid handle");
    EXPECT_FALSE(zns::FileExists(logPath)) << "the registry switch alone does not open the log";

    StartWithCfg("DebugingTools=0\r\n");
    CPreferences::WriteErrorLog("err1050", "Invalid handle");
    EXPECT_FALSE(zns::FileExists(logPath));

    StartWithCfg("DebugingTools=yes\r\n");
    EXPECT_EQ(zns::ErrorLog::Process().Path(), logPath);
    CPreferences::WriteErrorLog("err1050", "Invalid handle");
    CPreferences::WriteErrorLog("err1050", "IO Error");  // same second, same key: replaces
    CPreferences::WriteErrorLog("err5550", "Device not found:");
    clock.Advance(1000);
    CPreferences::WriteErrorLog("err1050", "Device not opened");

    const std::string text = ReadAll(logPath);
    EXPECT_EQ(text,
              "[[Tue Mar 05 14:07:09]]\r\nerr1050=IO Error\r\nerr5550=Device not found:\r\n"
              "[[Tue Mar 05 14:07:10]]\r\nerr1050=Device not opened\r\n");
    EXPECT_EQ(zns::IniFind(logPath, "[Tue Mar 05 14:07:09]", "err1050"), "IO Error");
}

TEST_F(SwitchesTest, TheStampHasATwoDigitDay) {
    zns::LocalTime t;
    t.year = 2026;
    t.month = 1;
    t.day = 2;
    t.hour = 3;
    t.minute = 4;
    t.second = 5;
    t.weekday = 5;
    EXPECT_EQ(zns::ErrorLog::Stamp(t), "[Fri Jan 02 03:04:05]");
}

TEST_F(SwitchesTest, ACorruptRegistryStoreReadsAsSwitchesOff) {
    WriteAll(RegistryPath(), std::string("\0\xff", 2) + "[Software\\Halvex\\ZNS\\Technical\nDebugingTools\x01=true\n");
    StartWithCfg("GainRx1=12\r\n");
    EXPECT_EQ(data.registry.g_bDebugingTools, 0);
    EXPECT_EQ(Settings().GainRx1, 12);
}

}  // namespace
