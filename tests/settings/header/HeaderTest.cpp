#include "settings/Header.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "settings/Ini.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string DataDir() {
    const char* env = std::getenv("ZNS_TEST_DATA");
    if (env && *env && std::ifstream(std::string(env) + "/header/golden.hed")) return env;
    return ZNS_TEST_DATA_DIR;
}

void FillSondeDb(SondeDatabase& db) {
    db.SerialNumber = 1234;
    db.SondeLength = 204;
    db.RX_Number = 3;
    db.OffsetRx[0] = 50;
    db.OffsetRx[1] = 100;
    db.OffsetRx[2] = 150;
    db.RxName[0] = "Near";
    db.RxName[1] = "Medium";
    db.RxName[2] = "Far";
    db.NaturalGamma = 1;
    db.GammaOffset = 180;
    db.GammaCoef = 1.25;
    db.nTotalChannel = 5;
    db.Channels[0] = {"DPTH", "Depth", "m", 4};
    db.Channels[1] = {"SPD", "Speed", "m/min", 2};
    db.Channels[2] = {"GAIN", "Gain", "dB", 1};
    db.Channels[3] = {"WAVE", "Waves", "-", 10};
    db.Channels[4] = {"GR", "Gamma", "cps", 3};
    db.Channels[5] = {"NOT", "Written", "-", 4};  // beyond the count
}

class HeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zns_header_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        clock.SetLocalBase({2026, 12, 6, 9, 30, 0, 0, 0});

        AcquisitionSettings& s = shared.settings;
        s.VScale = 200;
        s.RecordingMode = RECMODE_DOWN;
        s.AGC_Rx1 = 1;
        s.AGC_Rx2 = 0;
        s.AGC_Rx3 = 1;
        s.RxLeftView = 1;
        s.RxRightView = 2;
        s.FA[0] = {10, 100, 200, 1};
        s.FA[1] = {20, 150, 300, 0};
        s.FA[2] = {-30, 50, 400, 1};
        s.DepthInterval = 5;
        shared.sonde.TraceByte = 0x09;  // codes 1, 2, 0: T = 1536
        FillSondeDb(data.sondeDb);
        zns::SetFixedField(data.files.szFileName, "LOG_0001.zne");
    }
    void TearDown() override {
        zns::IniFlushCache();
        std::string cmd = "rm -rf '" + dir + "'";
        (void)std::system(cmd.c_str());
    }

    HeaderHooks Hooks() {
        HeaderHooks h;
        h.clock = &clock;
        h.showError = [this](const std::string& t) { errors.push_back(t); };
        return h;
    }
    PreferencesHooks PrefHooks() {
        PreferencesHooks h;
        h.programDir = dir;
        h.registryPath = dir + "/registry";
        return h;
    }

    // A record as the header editor leaves it before a new log.
    void FillWellInfo(CHeader& h) {
        h.ResetWellInfo();
        HeaderRecord& r = h.Record();
        r.Company = "Acme Drilling";
        r.Wellname = "W-1";
        r.DrillFloor = 12.5;
        r.KellyBushing = -3.25;
        r.RunNo1 = 2;
        r.Comment1 = "first line";
        r.step = 5;
        r.Startdepth = -1500;
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    std::string dir;
    SharedData shared;
    SettingsData data;
    zns::FakeClock clock;
    HeaderRecord record;
    std::vector<std::string> errors;
};

// ---- the file as other software reads it ---------------------------------

TEST_F(HeaderTest, WritesTheGoldenFileByteForByte) {
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::string golden = ReadAll(DataDir() + "/header/golden.hed");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(ReadAll(Path("log.hed")), golden);
    EXPECT_TRUE(errors.empty());

    // The four fields the writer fixes in the record.
    EXPECT_EQ(record.LogType, 1);
    EXPECT_EQ(record.Scale, 200);
    EXPECT_EQ(record.SondeLength, 204);
    EXPECT_EQ(record.LogMode, HEADER_LOG_DOWN);
}

TEST_F(HeaderTest, WellInfoHas109KeysInFileOrder) {
    const auto& keys = WellInfoKeys();
    ASSERT_EQ(keys.size(), 109u);
    EXPECT_STREQ(keys[0].key, "Company");
    EXPECT_STREQ(keys[10].key, "DepthUnit");
    EXPECT_STREQ(keys[24].key, "SondeAbbreviation");
    EXPECT_STREQ(keys[32].key, "DrillFloor");
    EXPECT_STREQ(keys[108].key, "Comment10");
    std::string text;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    h.WriteWellInfo(text);
    size_t lines = 0;
    for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 109u);
}

TEST_F(HeaderTest, NumbersIgnoreTheGlobalLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if ((found = std::setlocale(LC_NUMERIC, name))) break;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::setlocale(LC_NUMERIC, "C");
    std::string text = ReadAll(Path("log.hed"));
    EXPECT_NE(text.find("\r\nDrillFloor=12.500000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nGammaCoef=1.250000\r\n"), std::string::npos);
    if (!found) GTEST_SKIP() << "no decimal-comma locale installed; checked under C only";
}

TEST_F(HeaderTest, DataOffsetGrowsBySampleTypeSize) {
    EXPECT_EQ(zns::HeaderTraceBytes(0x09), 1536);  // codes 1, 2, 0
    EXPECT_EQ(zns::HeaderTraceBytes(0x3F), 3072);
    EXPECT_EQ(zns::HeaderTraceBytes(0x00), 0);
    const int expected[12] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 3 * 1536, 0};
    for (int type = 0; type < 12; ++type) EXPECT_EQ(zns::HeaderSampleTypeSize(type, 1536), expected[type]) << type;
    EXPECT_EQ(zns::HeaderSampleTypeSize(-1, 1536), 0);
}

TEST_F(HeaderTest, WithoutNaturalGammaNoGammaKeysAndDefaultsOnRead) {
    data.sondeDb.NaturalGamma = 0;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::string text = ReadAll(Path("log.hed"));
    EXPECT_EQ(text.find("OffsetGamma"), std::string::npos);
    EXPECT_EQ(text.find("GammaCoef"), std::string::npos);
    EXPECT_NE(text.find("\r\nNatural_Gamma=no\r\n"), std::string::npos);

    HeaderRecord back;
    CHeader reader(back, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(reader.ReadHeaderFile(Path("log.hed")), FALSE);
    EXPECT_EQ(back.OffsetGamma, 180);
    EXPECT_DOUBLE_EQ(back.GammaCoef, 1.0);
    EXPECT_FALSE(back.Natural_Gamma);
}

TEST_F(HeaderTest, LogModeCodesDifferFromRecordingModes) {
    struct Case {
        int recording, header;
    } cases[] = {{RECMODE_UP, HEADER_LOG_UP}, {RECMODE_DOWN, HEADER_LOG_DOWN}, {RECMODE_TIME, HEADER_LOG_TIME}};
    for (const Case& c : cases) {
        shared.settings.RecordingMode = c.recording;
        CHeader h(record, shared, data, Hooks(), PrefHooks());
        FillWellInfo(h);
        ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
        EXPECT_EQ(record.LogMode, c.header);
        CIni ini(Path("log.hed"), "WellInfo", TRUE);
        EXPECT_EQ(ini.GetInt("LogMode", -1), c.header);
        EXPECT_EQ(zns::RecordingModeFromHeaderLogMode(c.header), c.recording);
    }
}

TEST_F(HeaderTest, NegativeSondeLengthIsWrittenAsItIsAndReadAsZero) {
    data.sondeDb.SondeLength = -5;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    EXPECT_NE(ReadAll(Path("log.hed")).find("\r\nSondeLength=-5\r\n"), std::string::npos);

    WriteAll(Path("neg.hed"), "[General]\r\nSondeLength=-5\r\n");
    HeaderRecord back;
    CHeader reader(back, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(reader.ReadHeaderFile(Path("neg.hed")), FALSE);
    EXPECT_EQ(back.SondeLength, 0);
}

// ---- write then read -----------------------------------------------------

TEST_F(HeaderTest, RoundTripKeepsEveryField) {
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    // Every [WellInfo] field gets a distinct value.
    int n = 0;
    for (const WellInfoKey& k : WellInfoKeys()) {
        ++n;
        switch (k.type) {
            case WellInfoKey::String: record.*(k.s) = "v" + std::to_string(n) + " x"; break;
            case WellInfoKey::Int: record.*(k.i) = n * 7 - 300; break;
            case WellInfoKey::Double: record.*(k.d) = n * 1.5 - 80.25; break;
        }
    }
    ASSERT_TRUE(h.WriteHeaderFile(Path("rt.hed")));

    HeaderRecord back;
    CHeader reader(back, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(reader.ReadHeaderFile(Path("rt.hed")), FALSE);
    for (const WellInfoKey& k : WellInfoKeys()) {
        switch (k.type) {
            case WellInfoKey::String: EXPECT_EQ(back.*(k.s), record.*(k.s)) << k.key; break;
            case WellInfoKey::Int: EXPECT_EQ(back.*(k.i), record.*(k.i)) << k.key; break;
            case WellInfoKey::Double: EXPECT_DOUBLE_EQ(back.*(k.d), record.*(k.d)) << k.key; break;
        }
    }
    EXPECT_EQ(back.SerialNumber, 1234);
    EXPECT_EQ(back.LogType, 1);
    EXPECT_EQ(back.Scale, 200);
    EXPECT_EQ(back.SondeLength, 204);
    EXPECT_EQ(back.RXNumber, 3);
    EXPECT_EQ(back.OffsetRx3, 150);
    EXPECT_EQ(back.Rx2_Name, "Medium");
    EXPECT_TRUE(back.Rx1_AGC);
    EXPECT_FALSE(back.Rx2_AGC);
    EXPECT_TRUE(back.Rx3_AGC);
    EXPECT_TRUE(back.Natural_Gamma);
    EXPECT_EQ(back.OffsetGamma, 180);
    EXPECT_DOUBLE_EQ(back.GammaCoef, 1.25);
    EXPECT_EQ(back.Rx3FAThreshold, -30);
    EXPECT_EQ(back.Rx2EndWindow, 300);
    EXPECT_TRUE(back.Rx3UseFA);
    EXPECT_FALSE(back.Rx2UseFA);
    ASSERT_EQ(back.m_nChannelCount, 5);
    EXPECT_EQ(back.m_Channels[3].Title, "WAVE");
    EXPECT_EQ(back.m_Channels[3].SampleType, 10);
    EXPECT_EQ(back.m_Channels[3].SampleCount, 1536);
    EXPECT_EQ(back.m_Channels[1].Unit, "m/min");
    EXPECT_EQ(back.m_Channels[4].SampleCount, 1);
}

TEST_F(HeaderTest, TextsStayOnOneLine) {
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    record.Comment1 = "line one\r\n[General]\r\nScale=5\nx";
    record.Company = std::string("A\0B", 3);
    data.sondeDb.Channels[0].Unit = "m\r\n[File1]";
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::string text = ReadAll(Path("log.hed"));
    EXPECT_NE(text.find("\r\nComment1=line one  [General]  Scale=5 x\r\n"), std::string::npos);
    EXPECT_NE(text.find(std::string("\r\nCompany=A B\r\n")), std::string::npos);
    EXPECT_EQ(zns::IniSectionNames(Path("log.hed")).size(), 8u);  // General, WellInfo, 5 channels, File1

    HeaderRecord back;
    CHeader reader(back, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(reader.ReadHeaderFile(Path("log.hed")), FALSE);
    EXPECT_EQ(back.Scale, 200);
}

TEST_F(HeaderTest, RewritingReplacesTheWholeFile) {
    WriteAll(Path("log.hed"), std::string(20000, 'x') + "\r\n[Channel9]\r\nTitle=OLD\r\n");
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    EXPECT_EQ(ReadAll(Path("log.hed")), ReadAll(DataDir() + "/header/golden.hed"));
    // No temporary files left behind.
    int entries = 0;
    std::string cmd = "ls -A '" + dir + "' | wc -l";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(fscanf(p, "%d", &entries), 1);
    pclose(p);
    EXPECT_EQ(entries, 1);
}

TEST_F(HeaderTest, UnwritableHeaderKeepsOldFileAndRecord) {
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    record.LogMode = 99;
    record.Scale = 7;
    // The folder does not exist.
    EXPECT_FALSE(h.WriteHeaderFile(Path("missing/log.hed")));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Trouble opening file.");
    EXPECT_EQ(record.LogMode, 99);
    EXPECT_EQ(record.Scale, 7);

    // A read-only folder: the old header stays as it was.
    if (geteuid() != 0) {
        WriteAll(Path("old.hed"), "[General]\r\nScale=50\r\n");
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        EXPECT_FALSE(h.WriteHeaderFile(Path("old.hed")));
        chmod(dir.c_str(), 0755);
        EXPECT_EQ(ReadAll(Path("old.hed")), "[General]\r\nScale=50\r\n");
    }
}

TEST_F(HeaderTest, SingleKeyUpdatesKeepTheLayout) {
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::string before = ReadAll(Path("log.hed"));
    CIni ini(Path("log.hed"), "WellInfo", TRUE);
    ini.WriteInt("Startdepth", 123456);
    ini.WriteBool("Rx2_AGC", TRUE, "General");
    std::string after = ReadAll(Path("log.hed"));
    std::string expected = before;
    auto replace = [&](const std::string& a, const std::string& b) {
        size_t p = expected.find(a);
        ASSERT_NE(p, std::string::npos) << a;
        expected.replace(p, a.size(), b);
    };
    replace("\r\nStartdepth=-1500\r\n", "\r\nStartdepth=123456\r\n");
    replace("\r\nRx2_AGC=no\r\n", "\r\nRx2_AGC=yes\r\n");
    EXPECT_EQ(after, expected);
}

// ---- reading -------------------------------------------------------------

TEST_F(HeaderTest, MissingOrUnreadableFileFailsAndKeepsTheRecord) {
    record.Wellname = "kept";
    record.m_nChannelCount = 3;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    EXPECT_EQ(h.ReadHeaderFile(Path("none.hed")), TRUE);
    EXPECT_EQ(h.ReadWellInfo(Path("none.hed")), TRUE);
    EXPECT_EQ(h.ReadHeaderFile(dir), TRUE);  // a folder
    if (geteuid() != 0) {
        WriteAll(Path("locked.hed"), "[WellInfo]\r\nWellname=x\r\n");
        chmod(Path("locked.hed").c_str(), 0);
        EXPECT_EQ(h.ReadHeaderFile(Path("locked.hed")), TRUE);
    }
    EXPECT_EQ(record.Wellname, "kept");
    EXPECT_EQ(record.m_nChannelCount, 3);
}

TEST_F(HeaderTest, MissingKeysGetTheirDefaults) {
    WriteAll(Path("bare.hed"), "[General]\r\nSerialNumber=77\r\n");
    shared.settings.DepthInterval = 20;
    record.Company = "old";
    record.m_nChannelCount = 9;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(h.ReadHeaderFile(Path("bare.hed")), FALSE);
    EXPECT_EQ(record.SerialNumber, 77);
    EXPECT_EQ(record.LogType, 1);
    EXPECT_EQ(record.Scale, 100);
    EXPECT_EQ(record.SondeLength, 204);
    EXPECT_EQ(record.RXNumber, 2);
    EXPECT_EQ(record.OffsetRx1, 50);
    EXPECT_EQ(record.OffsetRx2, 100);
    EXPECT_EQ(record.OffsetRx3, 150);
    EXPECT_EQ(record.Rx1_Name, "");
    EXPECT_FALSE(record.Rx1_AGC);
    EXPECT_EQ(record.OffsetGamma, 180);
    EXPECT_DOUBLE_EQ(record.GammaCoef, 1.0);
    EXPECT_EQ(record.Rx2FAThreshold, 10);
    EXPECT_EQ(record.Rx2StartWindow, 100);
    EXPECT_EQ(record.Rx2EndWindow, 200);
    EXPECT_FALSE(record.Rx2UseFA);
    EXPECT_EQ(record.Company, " ");
    EXPECT_EQ(record.SondeAbbreviation, "ZNS");
    EXPECT_EQ(record.LogMode, HEADER_LOG_TIME);
    EXPECT_EQ(record.step, 20);
    EXPECT_EQ(record.Wellname, "");
    EXPECT_DOUBLE_EQ(record.DrillFloor, 0.0);
    EXPECT_EQ(record.m_nChannelCount, 0);
}

TEST_F(HeaderTest, ChannelListEndsAtEndeInAnyCaseAndAtFifty) {
    auto channels = [](int count, int endeAt, const char* ende) {
        std::string t = "[General]\r\n";
        for (int n = 0; n < count; ++n) {
            t += "[Channel" + std::to_string(n) + "]\r\n";
            t += std::string("Title=") + (n == endeAt ? ende : ("C" + std::to_string(n)).c_str()) + "\r\n";
            t += "SampleType=" + std::to_string(n % 11) + "\r\nSampleCount=" + std::to_string(n + 1) + "\r\n";
        }
        return t;
    };
    CHeader h(record, shared, data, Hooks(), PrefHooks());

    WriteAll(Path("a.hed"), channels(4, -1, ""));
    ASSERT_EQ(h.ReadHeaderFile(Path("a.hed")), FALSE);
    EXPECT_EQ(record.m_nChannelCount, 4);
    EXPECT_EQ(record.m_Channels[3].Title, "C3");
    EXPECT_EQ(record.m_Channels[3].SampleType, 3);
    EXPECT_EQ(record.m_Channels[3].SampleCount, 4);
    EXPECT_EQ(record.m_Channels[2].TitleShort, "");

    WriteAll(Path("b.hed"), channels(5, 2, "ENDE"));
    ASSERT_EQ(h.ReadHeaderFile(Path("b.hed")), FALSE);
    EXPECT_EQ(record.m_nChannelCount, 2);

    WriteAll(Path("c.hed"), channels(5, 1, "Ende"));
    ASSERT_EQ(h.ReadHeaderFile(Path("c.hed")), FALSE);
    EXPECT_EQ(record.m_nChannelCount, 1);

    WriteAll(Path("d.hed"), channels(60, -1, ""));
    ASSERT_EQ(h.ReadHeaderFile(Path("d.hed")), FALSE);
    EXPECT_EQ(record.m_nChannelCount, 50);
    EXPECT_EQ(record.m_Channels[49].Title, "C49");

    WriteAll(Path("e.hed"), "[General]\r\n");
    ASSERT_EQ(h.ReadHeaderFile(Path("e.hed")), FALSE);
    EXPECT_EQ(record.m_nChannelCount, 0);
}

TEST_F(HeaderTest, AtMostFiftyChannelsAreWritten) {
    // A count beyond the table the database holds.
    data.sondeDb.nTotalChannel = 60;
    for (int n = 0; n < kMaxSondeChannels; ++n) data.sondeDb.Channels[static_cast<size_t>(n)] = {"C" + std::to_string(n), "", "", 2};
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    FillWellInfo(h);
    ASSERT_TRUE(h.WriteHeaderFile(Path("log.hed")));
    std::string text = ReadAll(Path("log.hed"));
    EXPECT_NE(text.find("[Channel49]"), std::string::npos);
    EXPECT_EQ(text.find("[Channel50]"), std::string::npos);
    EXPECT_NE(text.find("\r\nNumberOfChannels=50\r\n"), std::string::npos);
    HeaderRecord back;
    CHeader reader(back, shared, data, Hooks(), PrefHooks());
    ASSERT_EQ(reader.ReadHeaderFile(Path("log.hed")), FALSE);
    EXPECT_EQ(back.m_nChannelCount, 50);
    CIni ini(Path("log.hed"), "Channel49", TRUE);
    EXPECT_EQ(ini.GetInt("DataOffset", -1), 49 * 2);
}

// ---- reset ---------------------------------------------------------------

TEST_F(HeaderTest, ResetPutsWellInfoDefaultsAndLeavesTheRest) {
    record.SerialNumber = 42;
    record.m_nChannelCount = 2;
    record.Comment10 = "x";
    record.Deepest2 = 5.0;
    record.RunNo3 = 4;
    record.Startdepth = 100;
    CHeader h(record, shared, data, Hooks(), PrefHooks());
    h.ResetWellInfo();
    EXPECT_EQ(record.Date, "06 December 2026");
    EXPECT_EQ(record.SondeAbbreviation, "ZNS");
    EXPECT_EQ(record.Company, " ");
    EXPECT_EQ(record.Comment10, "");
    EXPECT_EQ(record.step, 10);
    EXPECT_EQ(record.LogMode, HEADER_LOG_TIME);
    EXPECT_EQ(record.Startdepth, 0);
    EXPECT_EQ(record.RunNo3, 0);
    EXPECT_DOUBLE_EQ(record.Deepest2, 0.0);
    EXPECT_EQ(record.SerialNumber, 42);
    EXPECT_EQ(record.m_nChannelCount, 2);

    clock.SetLocalBase({2027, 5, 1, 0, 0, 0, 0, 6});
    h.ResetHeader();
    EXPECT_EQ(record.Date, "01 May 2027");
}

// ---- beside a data file --------------------------------------------------

TEST_F(HeaderTest, HeaderIsFoundBesideTheDataFileInEitherCase) {
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("a.zne")), Path("a.hed"));  // none yet
    WriteAll(Path("a.HED"), "[General]\r\n");
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("a.zne")), Path("a.HED"));
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("a.ZNE")), Path("a.HED"));
    WriteAll(Path("a.hed"), "[General]\r\n");
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("a.zne")), Path("a.hed"));
    WriteAll(Path("b.Hed"), "[General]\r\n");
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("b.zne")), Path("b.Hed"));
    EXPECT_EQ(zns::HeaderPathForDataFile(Path("noext")), Path("noext.hed"));
}

}  // namespace
