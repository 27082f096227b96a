// Random bytes as each stored file: the start never crashes, every loaded
// value keeps its range, and a broken file never costs the others' settings.
#include <random>

#include "PrefsTestUtil.h"

#include "platform/NumText.h"

using namespace prefs_test;

namespace {

class FuzzTest : public PrefsFixture {
protected:
    std::mt19937 rng{20240305};

    std::string RandomBytes(size_t maxLen) {
        std::uniform_int_distribution<size_t> len(0, maxLen);
        std::uniform_int_distribution<int> byte(0, 255);
        std::string s(len(rng), '\0');
        for (char& c : s) c = static_cast<char>(byte(rng));
        return s;
    }
    // A valid text with some bytes flipped, cut or repeated.
    std::string Mutate(std::string s) {
        std::uniform_int_distribution<int> op(0, 2);
        std::uniform_int_distribution<int> byte(0, 255);
        const int n = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < n && !s.empty(); ++i) {
            const size_t at = rng() % s.size();
            switch (op(rng)) {
                case 0: s[at] = static_cast<char>(byte(rng)); break;
                case 1: s.resize(at); break;
                default: s.insert(at, s.substr(at, rng() % 16)); break;
            }
        }
        return s;
    }

    void CheckInvariants() {
        const AcquisitionSettings s = Settings();
        const SessionState ss = shared->SnapshotSession();
        EXPECT_TRUE(s.PulleyDir == 0 || s.PulleyDir == 1);
        EXPECT_TRUE(s.CableType == 0 || s.CableType == 1);
        EXPECT_GT(s.PulleysCircumference, 0);
        EXPECT_GT(s.PulsResolution, 0);
        EXPECT_GE(s.GammaViewMode, 0);
        EXPECT_LE(s.GammaViewMode, 2);
        EXPECT_GE(s.GammaMax, 100);
        EXPECT_LE(s.GammaMax, 65000);
        EXPECT_GE(s.GammaFilter, 0);
        EXPECT_LE(s.GammaFilter, 50);
        EXPECT_NE(s.TimeInterval, 0);
        EXPECT_NE(s.DepthInterval, 0);
        EXPECT_TRUE(zns::IsDisplayScale(s.VScale));
        for (int rx = 0; rx < 3; ++rx) {
            EXPECT_GE(s.GainRx(rx), 0);
            EXPECT_LE(s.GainRx(rx), 36);
            EXPECT_GE(s.ZNSModus(rx), 0);
            EXPECT_LE(s.ZNSModus(rx), 3);
        }
        EXPECT_TRUE(s.RxLeftView == 1 || s.RxLeftView == 2);
        EXPECT_TRUE(s.RxRightView == 2 || s.RxRightView == 3);
        EXPECT_GE(ss.BlackAndWhite, 0);
        EXPECT_LE(ss.BlackAndWhite, 2);
        EXPECT_GE(data.g_nRefreshTime, 50);
        EXPECT_TRUE(zns::IsBaudDivisor(s.BaudDivisor));
        EXPECT_GE(s.UpGain, 0);
        EXPECT_LE(s.UpGain, 40);
        EXPECT_GE(s.DownDrive, 5);
        EXPECT_LE(s.DownDrive, 60);
        EXPECT_GE(s.UpDrive, 5);
        EXPECT_LE(s.UpDrive, zns::MaxUpDriveForDivisor(s.BaudDivisor));
        const SondeDatabase& db = data.sondeDb;
        EXPECT_GE(db.nSelected, 0);
        EXPECT_LT(db.nSelected, kMaxSondes);
        EXPECT_GE(db.Voltage, 80u);
        EXPECT_LE(db.Voltage, 100u);
        EXPECT_GE(db.RX_Number, 0);
        EXPECT_LE(db.RX_Number, 3);
        EXPECT_GE(db.nTotalChannel, 0);
        EXPECT_LE(db.nTotalChannel, kMaxSondeChannels);
        const FilePaths& fp = data.files;
        EXPECT_LT(::strnlen(fp.szFileName, kNameFieldSize), kNameFieldSize);
        EXPECT_LT(::strnlen(fp.szLastFile, kPathFieldSize), kPathFieldSize);
        EXPECT_LT(::strnlen(fp.szDataFile, kPathFieldSize), kPathFieldSize);
        EXPECT_LT(::strnlen(fp.szFilePath, kPathFieldSize), kPathFieldSize);
        EXPECT_LT(::strnlen(fp.szTempDir, kPathFieldSize), kPathFieldSize);
    }

    // One run of the program over whatever the files hold, saving as it goes.
    void RunOnce() {
        CPreferences& p = Restart();
        p.StartupLoad();
        CheckInvariants();
        p.SaveConfig();
        p.SaveAll();
        p.SaveLasParams();
        p.LoadToolFile();
        CheckInvariants();
    }

    const std::string goodCfg =
        "[BrannicLogger]\r\nFilePath=/logs\r\nLastFile=/logs/a.hed\r\nGainRx1=12\r\nVScale=200\r\n"
        "GammaMax=3000\r\nSondeUsed=1\r\nZNSModus_Rx1=2\r\n[LASParam]\r\nLASWindThRx1=33\r\n";
    const std::string goodTol =
        "[Commun]\r\nTotalChannel=2\r\n[Channel0]\r\nTitle=DEPT\r\n[Channel1]\r\nTitle=GR\r\n"
        "[Sonde1]\r\nSerialNumber=77\r\nRX_Number=3\r\nVoltage=92\r\nUpBaudDivisor=12\r\n";
    std::string goodDat() {
        WindowLayout w;
        w.placement[LAYOUT_SETUP].length = 44;
        w.placement[LAYOUT_SETUP].right = 640;
        const auto img = zns::EncodeWindowLayout(w);
        return std::string(img.begin(), img.end());
    }
    void WriteGoodFiles() {
        WriteAll(Cfg(), goodCfg);
        WriteTol(goodTol);
        WriteAll(Dat(), goodDat());
        std::remove(RegistryPath().c_str());
    }
    void ExpectGoodCfgKept() {
        const AcquisitionSettings s = Settings();
        EXPECT_EQ(s.GainRx1, 12);
        EXPECT_EQ(s.VScale, 200);
        EXPECT_EQ(s.GammaMax, 3000);
        EXPECT_EQ(data.las.LASWindThRx[0], 33);
        EXPECT_EQ(zns::FixedFieldText(data.files.szLastFile), "/logs/a.hed");
    }
    void ExpectGoodTolKept() {
        EXPECT_EQ(data.sondeDb.SerialNumber, 77);
        EXPECT_EQ(data.sondeDb.Voltage, 92u);
        EXPECT_EQ(data.sondeDb.nTotalChannel, 2);
        EXPECT_EQ(Settings().BaudDivisor, 12);
        EXPECT_EQ(Settings().ZNSModus_Rx1, 2);
    }
};

constexpr int kRounds = 25;

TEST_F(FuzzTest, RandomConfigurationFiles) {
    for (int i = 0; i < kRounds; ++i) {
        WriteGoodFiles();
        WriteAll(Cfg(), i % 2 ? RandomBytes(4096) : Mutate(goodCfg));
        RunOnce();
        // The sonde file is untouched: its values stand whenever slot 1 is selected.
        if (data.sondeDb.nSelected == 1) {
            EXPECT_EQ(data.sondeDb.SerialNumber, 77);
        }
    }
}

TEST_F(FuzzTest, RandomLayoutFiles) {
    for (int i = 0; i < kRounds; ++i) {
        WriteGoodFiles();
        WriteAll(Dat(), i % 2 ? RandomBytes(600) : Mutate(goodDat()));
        RunOnce();
        ExpectGoodTolKept();
        const AcquisitionSettings s = Settings();
        EXPECT_EQ(s.GainRx1, 12);
        EXPECT_EQ(zns::FileSize(Dat()), 281);
    }
}

TEST_F(FuzzTest, RandomSondeFiles) {
    for (int i = 0; i < kRounds; ++i) {
        WriteGoodFiles();
        WriteTol(i % 2 ? RandomBytes(4096) : Mutate(goodTol));
        RunOnce();
        const AcquisitionSettings s = Settings();
        EXPECT_EQ(s.GainRx1, 12);
        EXPECT_EQ(s.VScale, 200);
        EXPECT_EQ(data.las.LASWindThRx[0], 33);
    }
}

TEST_F(FuzzTest, RandomRegistryStores) {
    for (int i = 0; i < kRounds; ++i) {
        WriteGoodFiles();
        std::string reg = i % 2 ? RandomBytes(2048)
                                : Mutate("[Software\\Halvex\\ZNS\\TechnicalTools]\r\nTechnicalTools=true\r\n"
                                         "DebugingTools=false\r\nDebugingTrace=false\r\nFullTracing=true\r\n");
        WriteAll(RegistryPath(), reg);
        RunOnce();
        ExpectGoodCfgKept();
        ExpectGoodTolKept();
    }
}

TEST_F(FuzzTest, AGarbageLineCostsNoOtherSetting) {
    for (int i = 0; i < kRounds; ++i) {
        std::string junk = RandomBytes(300);
        for (char& c : junk)
            if (c == '[' || c == '\r' || c == '\n') c = '#';
        WriteGoodFiles();
        WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/logs\r\n" + junk + "\r\nLastFile=/logs/a.hed\r\nGainRx1=12\r\n"
                        "VScale=200\r\nGammaMax=3000\r\nSondeUsed=1\r\nZNSModus_Rx1=2\r\n[LASParam]\r\n" + junk +
                        "\r\nLASWindThRx1=33\r\n");
        WriteTol("[Commun]\r\nTotalChannel=2\r\n" + junk + "\r\n[Channel0]\r\nTitle=DEPT\r\n[Channel1]\r\nTitle=GR\r\n"
                 "[Sonde1]\r\nSerialNumber=77\r\n" + junk + "\r\nRX_Number=3\r\nVoltage=92\r\nUpBaudDivisor=12\r\n");
        RunOnce();
        ExpectGoodCfgKept();
        ExpectGoodTolKept();
    }
}

}  // namespace
