// Sonde import files: defaults, held gamma coefficient, the file-exists rule,
// slot choice, and the keys an import, a removal and a coefficient edit write.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/Ini.h"
#include "settings/SondeImport.h"

namespace fs = std::filesystem;

namespace {

class SondeImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zns-import-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string Read(const std::string& path, const std::string& sec, const std::string& key) {
        CIni ini(path, sec, FALSE);
        return ini.GetString(key, "<none>");
    }
    fs::path dir;
};

}  // namespace

TEST_F(SondeImportTest, ReadsEveryKeyAndDefaultsTheMissingOnes) {
    const std::string p = Write("s.znc",
                                "[Sonde]\r\nSerialNumber=1234\r\nSondeLength=250\r\nRX_Number=2\r\nOffsetRx1=91\r\n"
                                "OffsetRx3=152\r\nRx2_Name=Mid\r\nNatural_Gamma=yes\r\nGamma_Offset =120\r\n"
                                "GammaCoef=0,75\r\nVoltage=95\r\n");
    const zns::SondeImport s = zns::ReadSondeImport(p);
    EXPECT_EQ(s.SerialNumber, 1234);
    EXPECT_EQ(s.SondeLength, 250);
    EXPECT_EQ(s.RX_Number, 2);
    EXPECT_EQ(s.OffsetRx[0], 91);
    EXPECT_EQ(s.OffsetRx[1], 0);
    EXPECT_EQ(s.OffsetRx[2], 152);
    EXPECT_EQ(s.RxName[0], "Near");
    EXPECT_EQ(s.RxName[1], "Mid");
    EXPECT_EQ(s.RxName[2], "Far");
    EXPECT_EQ(s.NaturalGamma, 1);
    EXPECT_EQ(s.GammaOffset, 120);
    EXPECT_NEAR(s.GammaCoef, 0.75, 1e-6);
    EXPECT_EQ(s.Voltage, 95u);

    // No section at all: every default, serial -999.
    const zns::SondeImport d = zns::ReadSondeImport(Write("empty.txt", "[Other]\nX=1\n"));
    EXPECT_EQ(d.SerialNumber, -999);
    EXPECT_EQ(d.SondeLength, 193);
    EXPECT_EQ(d.GammaOffset, 180);
    EXPECT_DOUBLE_EQ(d.GammaCoef, 1.0);
    EXPECT_EQ(d.Voltage, 90u);
    EXPECT_EQ(d.NaturalGamma, 0);
}

TEST_F(SondeImportTest, HoldsTheGammaCoefficientAndTheReceiverCount) {
    EXPECT_DOUBLE_EQ(zns::HoldImportedGammaCoef(12.0), 10.0);
    EXPECT_DOUBLE_EQ(zns::HoldImportedGammaCoef(0.005), 1.0);
    EXPECT_DOUBLE_EQ(zns::HoldImportedGammaCoef(0.01), 0.01);
    EXPECT_DOUBLE_EQ(zns::HoldImportedGammaCoef(10.0), 10.0);
    EXPECT_NEAR(zns::ReadSondeImport(Write("c.znc", "[Sonde]\nGammaCoef=12\nRX_Number=7\n")).GammaCoef, 10.0, 1e-6);
    EXPECT_EQ(zns::ReadSondeImport(Write("r.znc", "[Sonde]\nRX_Number=7\n")).RX_Number, 3);
    EXPECT_EQ(zns::ReadSondeImport(Write("n.znc", "[Sonde]\nRX_Number=-2\n")).RX_Number, 0);
}

TEST_F(SondeImportTest, FileMustExistWithZncOrTxt) {
    Write("a.znc", "[Sonde]\n");
    Write("b.txt", "[Sonde]\n");
    EXPECT_TRUE(zns::SondeImportFileExists((dir / "a.znc").string()));
    EXPECT_TRUE(zns::SondeImportFileExists((dir / "b.txt").string()));
    // The title counts, whatever extension was typed.
    EXPECT_TRUE(zns::SondeImportFileExists((dir / "a.ZZZ").string()));
    EXPECT_FALSE(zns::SondeImportFileExists((dir / "c.znc").string()));
    Write("d.ini", "[Sonde]\n");
    EXPECT_FALSE(zns::SondeImportFileExists((dir / "d.ini").string()));
}

TEST_F(SondeImportTest, SlotChoice) {
    SondeDatabase db;
    for (int i = 0; i < kMaxSondes; ++i) db.Slots[size_t(i)].SerialNumber = 100 + i;
    EXPECT_EQ(zns::CountLeadingSondes(db), 10);
    db.Slots[3].SerialNumber = kSondeRemovedSerial;
    EXPECT_EQ(zns::CountLeadingSondes(db), 3);
    EXPECT_EQ(zns::FindSondeSlot(db, 105), 5);
    EXPECT_EQ(zns::FindSondeSlot(db, 999), -1);
    // An import without a section carries -999 and matches the removed slot.
    EXPECT_EQ(zns::FindSondeSlot(db, kSondeRemovedSerial), 3);
}

TEST_F(SondeImportTest, ImportKeepsTelemetryAndRemovalClears) {
    SondeRecord r;
    r.UpGain = 17;
    r.UpBaudDivisor = 12;
    r.DownDrive = 33;
    r.UpDrive = 22;
    zns::SondeImport imp;
    imp.SerialNumber = 42;
    imp.RX_Number = 2;
    imp.Voltage = 300;
    imp.GammaCoef = 0.5;
    zns::ApplySondeImport(r, imp);
    EXPECT_EQ(r.SerialNumber, 42);
    EXPECT_EQ(r.UpGain, 17);
    EXPECT_EQ(r.UpBaudDivisor, 12);
    EXPECT_EQ(r.DownDrive, 33);
    EXPECT_EQ(r.UpDrive, 22);
    SondeDatabase db;
    zns::CopySlotToWorkingCopy(db, r);
    EXPECT_EQ(db.SerialNumber, 42);
    EXPECT_EQ(db.Voltage, 100u);  // the working copy holds it to 80..100
    EXPECT_DOUBLE_EQ(db.GammaCoef, 0.5);

    zns::ClearSondeSlot(r);
    EXPECT_EQ(r.SerialNumber, -999);
    EXPECT_EQ(r.SondeLength, 193);
    EXPECT_EQ(r.GammaOffset, 100);
    EXPECT_EQ(r.Voltage, 90u);
    EXPECT_EQ(r.RxName[2], "Far");
    EXPECT_EQ(r.UpGain, 17);
}

TEST_F(SondeImportTest, WritesTheKeysOfImportRemovalAndCoefficient) {
    const std::string tool = Write("HxZNS.tol", "[Sonde2]\r\nGamma_Offset=77\r\nGammaCoef=0.33\r\nUpGain=9\r\n");
    zns::SondeImport imp;
    imp.SerialNumber = 12;
    imp.SondeLength = 250;
    imp.RxName[1] = "Mid";
    imp.NaturalGamma = 0;
    zns::WriteImportedSonde(tool, 2, imp);
    EXPECT_EQ(Read(tool, "Sonde2", "SerialNumber"), "0012");
    EXPECT_EQ(Read(tool, "Sonde2", "SondeLength"), "250");
    EXPECT_EQ(Read(tool, "Sonde2", "Rx2_Name"), "Mid");
    EXPECT_EQ(Read(tool, "Sonde2", "Natural_Gamma"), "no");
    // Without natural gamma the old gamma keys stay as they were.
    EXPECT_EQ(Read(tool, "Sonde2", "Gamma_Offset"), "77");
    EXPECT_EQ(Read(tool, "Sonde2", "GammaCoef"), "0.33");
    EXPECT_EQ(Read(tool, "Sonde2", "UpGain"), "9");

    imp.NaturalGamma = 1;
    imp.GammaOffset = 150;
    imp.GammaCoef = 1.25;
    zns::WriteImportedSonde(tool, 2, imp);
    EXPECT_EQ(Read(tool, "Sonde2", "Gamma_Offset"), "150");
    EXPECT_EQ(Read(tool, "Sonde2", "GammaCoef"), "1.25");
    zns::WriteSondeVoltage(tool, 2, 95);
    EXPECT_EQ(Read(tool, "Sonde2", "Voltage"), "95");

    zns::WriteSondeGammaCoef(tool, 2, 2.0);
    EXPECT_EQ(Read(tool, "Sonde2", "GammaCoef"), "2.00");

    zns::WriteRemovedSonde(tool, 2);
    EXPECT_EQ(Read(tool, "Sonde2", "SerialNumber"), "-999");
    EXPECT_EQ(Read(tool, "Sonde2", "SondeLength"), "193");
    EXPECT_EQ(Read(tool, "Sonde2", "RX_Number"), "0");
    EXPECT_EQ(Read(tool, "Sonde2", "Rx1_Name"), "Near");
    EXPECT_EQ(Read(tool, "Sonde2", "Natural_Gamma"), "no");
    EXPECT_EQ(Read(tool, "Sonde2", "UpGain"), "9");
}
