// The sonde database "Ressources/HxZNS.tol".
#include "PrefsTestUtil.h"

#include "platform/NumText.h"

using namespace prefs_test;

namespace {

class SondeDatabaseTest : public PrefsFixture {
protected:
    // A configuration that skips the demonstration rule and selects `slot`, with
    // every trace length at 3 and telemetry values the sonde file should replace.
    void WriteCfg(int slot, const std::string& extra = "") {
        WriteAll(Cfg(), zns::Format("[BrannicLogger]\r\nFilePath=/x\r\nSondeUsed=%d\r\n"
                                    "ZNSModus_Rx1=3\r\nZNSModus_Rx2=3\r\nZNSModus_Rx3=3\r\n",
                                    slot) +
                            extra);
        WriteAll(Dat(), std::string(281, '\0'));
    }
    void Load() { Restart().StartupLoad(); }
};

TEST_F(SondeDatabaseTest, AMissingFileGivesEveryDefault) {
    WriteCfg(0);
    Load();
    const SondeDatabase& db = data.sondeDb;
    for (const SondeRecord& r : db.Slots) {
        EXPECT_EQ(r.SerialNumber, -1);
        EXPECT_FALSE(r.InUse());
        EXPECT_EQ(r.SondeLength, 300);
        EXPECT_EQ(r.RxName[1], "Medium");
        EXPECT_EQ(r.GammaOffset, 180);
        EXPECT_DOUBLE_EQ(r.GammaCoef, 1.0);
        EXPECT_EQ(r.Voltage, 90u);
    }
    EXPECT_EQ(db.nSelected, 0);
    EXPECT_EQ(db.nTotalChannel, 0);
    EXPECT_EQ(db.Voltage, 90u);
    EXPECT_EQ(db.RxName[2], "Far");
    const AcquisitionSettings s = Settings();
    EXPECT_EQ(s.UpGain, 5);
    EXPECT_EQ(s.BaudDivisor, 10);
    EXPECT_EQ(s.UpDrive, 6);
    EXPECT_EQ(s.DownDrive, 6);
    EXPECT_EQ(s.ZNSModus_Rx1, 0) << "no receivers: no trace lengths";
}

TEST_F(SondeDatabaseTest, TheOnlySondeOfSlot3IsSelectedWithItsTelemetry) {
    WriteTol(
        "[Commun]\r\nTotalChannel=0\r\n[Sonde3]\r\nSerialNumber=0042\r\nSondeLength=410\r\nRX_Number=3\r\n"
        "OffsetRx1=90\r\nOffsetRx2=120\r\nOffsetRx3=150\r\nRx1_Name=A\r\nRx2_Name=B\r\nRx3_Name=C\r\n"
        "Natural_Gamma=yes\r\nGamma_Offset =77\r\nGammaCoef=2.5\r\nVoltage=95\r\nUpGain=12\r\n"
        "UpBaudDivisor=15\r\nUpholePulseWidth=30\r\nDownholeComDataDrv=40\r\n");
    WriteCfg(3);
    Load();
    const SondeDatabase& db = data.sondeDb;
    EXPECT_EQ(db.nSelected, 3);
    EXPECT_EQ(db.SerialNumber, 42);
    EXPECT_EQ(db.SondeLength, 410);
    EXPECT_EQ(db.RX_Number, 3);
    EXPECT_EQ(db.OffsetRx[2], 150);
    EXPECT_EQ(db.RxName[0], "A");
    EXPECT_EQ(db.NaturalGamma, 1);
    EXPECT_EQ(db.GammaOffset, 77);
    EXPECT_DOUBLE_EQ(db.GammaCoef, 2.5);
    EXPECT_EQ(db.Voltage, 95u);
    const AcquisitionSettings s = Settings();
    EXPECT_EQ(s.UpGain, 12);
    EXPECT_EQ(s.BaudDivisor, 15);
    EXPECT_EQ(s.UpDrive, 30);
    EXPECT_EQ(s.DownDrive, 40);
    EXPECT_EQ(s.ZNSModus_Rx3, 3);
    EXPECT_EQ(db.Slots[0].SerialNumber, -1);
}

TEST_F(SondeDatabaseTest, TheWorkingCopyHoldsTheVoltageTo80To100) {
    const struct { const char* stored; uint32_t working; uint32_t slot; } cases[] = {
        {"120", 100, 120}, {"50", 80, 50}, {"300", 100, 300}, {"80", 80, 80},
        {"100", 100, 100}, {"-5", 100, 0xFFFFFFFBu}, {"junk", 80, 0},
    };
    for (const auto& c : cases) {
        WriteTol(std::string("[Sonde0]\r\nSerialNumber=1\r\nVoltage=") + c.stored + "\r\n");
        WriteCfg(0);
        Load();
        EXPECT_EQ(data.sondeDb.Voltage, c.working) << c.stored;
        EXPECT_EQ(data.sondeDb.Slots[0].Voltage, c.slot) << c.stored;
    }
    // The probe page's selection goes through the same copy.
    SondeDatabase db;
    db.Slots[4].Voltage = 300;
    AcquisitionSettings s;
    zns::SelectSondeSlot(db, s, 4);
    EXPECT_EQ(db.Voltage, 100u);
    EXPECT_EQ(db.nSelected, 4);
    zns::SelectSondeSlot(db, s, 10);
    EXPECT_EQ(db.nSelected, 0);
}

TEST_F(SondeDatabaseTest, TheReceiverCountClearsTraceLengths) {
    const struct { const char* rx; int m1, m2, m3; int count; } cases[] = {
        {"0", 0, 0, 0, 0}, {"1", 3, 0, 0, 1}, {"2", 3, 3, 0, 2}, {"3", 3, 3, 3, 3},
        {"7", 3, 3, 3, 3}, {"-2", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        WriteTol(std::string("[Sonde0]\r\nSerialNumber=1\r\nRX_Number=") + c.rx + "\r\n");
        WriteCfg(0);
        Load();
        const AcquisitionSettings s = Settings();
        EXPECT_EQ(s.ZNSModus_Rx1, c.m1) << c.rx;
        EXPECT_EQ(s.ZNSModus_Rx2, c.m2) << c.rx;
        EXPECT_EQ(s.ZNSModus_Rx3, c.m3) << c.rx;
        EXPECT_EQ(data.sondeDb.RX_Number, c.count);
        EXPECT_EQ(data.sondeDb.Slots[0].RX_Number, c.count);
    }
}

TEST_F(SondeDatabaseTest, StoredTelemetrySurvivesRestartsByteForByte) {
    // Link settings the auto-check may leave (uphole drive above 4 x divisor),
    // and values that only a hold keeps out of a command byte and a division.
    const std::string tol =
        "[Sonde0]\r\nSerialNumber=1\r\nVoltage=90\r\nUpGain=12\r\nUpBaudDivisor=4\r\n"
        "UpholePulseWidth=24\r\nDownholeComDataDrv=3\r\n"
        "[Sonde1]\r\nSerialNumber=2\r\nVoltage=90\r\nUpGain=300\r\nUpBaudDivisor=0\r\n"
        "UpholePulseWidth=-2\r\nDownholeComDataDrv=61\r\n";
    WriteTol(tol);
    for (int slot : {0, 1, 0}) {
        WriteCfg(slot);
        for (int run = 0; run < 2; ++run) {
            Load();
            Prefs().SaveConfig();
        }
        EXPECT_EQ(ReadAll(Tol()), tol) << "slot " << slot;
    }
    EXPECT_EQ(data.sondeDb.Slots[0].UpDrive, 24);
    EXPECT_EQ(Settings().UpDrive, 24);
    EXPECT_EQ(Settings().BaudDivisor, 4);
    EXPECT_EQ(Settings().DownDrive, 3);
    WriteCfg(1);
    Load();
    EXPECT_EQ(data.sondeDb.Slots[1].UpGain, 300);
    const AcquisitionSettings s = Settings();
    EXPECT_EQ(s.UpGain, 255);
    EXPECT_EQ(s.BaudDivisor, 10);
    EXPECT_EQ(s.UpDrive, 0);
    EXPECT_EQ(s.DownDrive, 61);
}

TEST_F(SondeDatabaseTest, SaveConfigWritesTheCommValuesEvenIntoAFreeSlot) {
    WriteCfg(5);
    Load();
    {
        std::lock_guard<std::mutex> g(shared->acqMutex);
        shared->settings.UpGain = 21;
        shared->settings.BaudDivisor = 8;
        shared->settings.UpDrive = 25;
        shared->settings.DownDrive = 33;
        data.sondeDb.Voltage = 97;
    }
    const std::string pathBefore = Prefs().GetPathName();
    Prefs().SaveConfig();
    EXPECT_EQ(Prefs().GetPathName(), pathBefore);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"UpGain", "21"}, {"UpBaudDivisor", "8"}, {"UpholePulseWidth", "25"}, {"DownholeComDataDrv", "33"},
        {"Voltage", "97"}};
    EXPECT_EQ(zns::IniSectionEntries(Tol(), "Sonde5"), expected);
    EXPECT_EQ(data.sondeDb.Slots[5].UpGain, 5) << "the slot in memory is the comm page's to update";
    EXPECT_EQ(Key("SondeUsed"), "5");
}

TEST_F(SondeDatabaseTest, SaveSondeCommResetsAnOutOfRangeSelection) {
    WriteCfg(0);
    Load();
    data.sondeDb.nSelected = 42;
    Prefs().SaveSondeComm();
    EXPECT_EQ(data.sondeDb.nSelected, 0);
    EXPECT_TRUE(TolKey("Sonde0", "UpGain").has_value());
    EXPECT_FALSE(zns::IniHasSection(Tol(), "Sonde42"));
}

TEST_F(SondeDatabaseTest, ChannelsUpToFifty) {
    std::string text = "[Commun]\r\nTotalChannel=60\r\n";
    for (int k = 0; k < 55; ++k)
        text += zns::Format("[Channel%d]\r\nTitle=T%d\r\nTitleShort=S%d\r\nUnit=U%d\r\nSampleType=%d\r\n", k, k, k, k, k % 11);
    WriteTol(text);
    WriteCfg(0);
    Load();
    EXPECT_EQ(data.sondeDb.nTotalChannel, 50);
    EXPECT_EQ(data.sondeDb.Channels[49].Title, "T49");
    EXPECT_EQ(data.sondeDb.Channels[49].SampleType, 49 % 11);
    EXPECT_EQ(data.sondeDb.Channels[0].Unit, "U0");

    // A reload with fewer channels leaves nothing stale behind.
    WriteTol("[Commun]\r\nTotalChannel=2\r\n[Channel0]\r\nTitle=D\r\n");
    Prefs().LoadToolFile();
    EXPECT_EQ(data.sondeDb.nTotalChannel, 2);
    EXPECT_EQ(data.sondeDb.Channels[0].Title, "D");
    EXPECT_EQ(data.sondeDb.Channels[1].Title, "");
    EXPECT_EQ(data.sondeDb.Channels[2].Title, "");

    WriteTol("[Commun]\r\nTotalChannel=-3\r\n");
    Prefs().LoadToolFile();
    EXPECT_EQ(data.sondeDb.nTotalChannel, 0);
}

TEST_F(SondeDatabaseTest, GammaOffsetIsOneEntryWithOrWithoutTheTrailingBlank) {
    WriteTol("[Sonde0]\r\nSerialNumber=3\r\nGamma_Offset=200\r\n");
    WriteCfg(0);
    Load();
    EXPECT_EQ(data.sondeDb.GammaOffset, 200);
}

TEST_F(SondeDatabaseTest, TheShippedSondeFilePowersAFirstStart) {
    const char* src = std::getenv("ZNS_SOURCE_DIR");
    std::string shipped = src ? std::string(src) + "/resources/Ressources/HxZNS.tol" : std::string();
    if (shipped.empty() || !zns::FileExists(shipped)) shipped = "/work/main/resources/Ressources/HxZNS.tol";
    ASSERT_TRUE(zns::FileExists(shipped));
    WriteTol(ReadAll(shipped));
    Prefs().StartupLoad();
    const SondeDatabase& db = data.sondeDb;
    EXPECT_TRUE(db.Slots[0].InUse());
    EXPECT_GT(db.SerialNumber, 0);
    EXPECT_EQ(db.RX_Number, 3);
    EXPECT_GE(db.Voltage, 80u);
    EXPECT_LE(db.Voltage, 100u);
    EXPECT_GT(db.nTotalChannel, 0);
    for (int k = 0; k < db.nTotalChannel; ++k) EXPECT_FALSE(db.Channels[static_cast<size_t>(k)].Title.empty()) << k;
    const AcquisitionSettings s = Settings();
    EXPECT_TRUE(zns::IsBaudDivisor(s.BaudDivisor));
    EXPECT_EQ(s.ZNSModus_Rx1, 1);
    EXPECT_EQ(s.ZNSModus_Rx3, 1);
}

TEST_F(SondeDatabaseTest, HelperRules) {
    for (int d : {4, 5, 6, 7, 8, 9, 10, 12, 15, 20}) EXPECT_TRUE(zns::IsBaudDivisor(d)) << d;
    for (int d : {-4, 0, 1, 3, 11, 13, 14, 16, 21, 255}) EXPECT_FALSE(zns::IsBaudDivisor(d)) << d;
    EXPECT_EQ(zns::MaxUpDriveForDivisor(4), 16);
    EXPECT_EQ(zns::MaxUpDriveForDivisor(10), 40);
    EXPECT_EQ(zns::MaxUpDriveForDivisor(15), 60);
    EXPECT_EQ(zns::MaxUpDriveForDivisor(20), 60);
    EXPECT_EQ(zns::HoldSondeVoltage(79), 80u);
    EXPECT_EQ(zns::HoldSondeVoltage(101), 100u);
    EXPECT_EQ(zns::HoldSondeVoltage(93), 93u);
}

}  // namespace
