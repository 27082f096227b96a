// CUSB without its threads: driver loading, wrappers, opening and identifying
// the device, the link check, the error log and the texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LinkTestSupport.h"
#include "ScriptDriver.h"
#include "link/CommandFrames.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "settings/Preferences.h"

using namespace linktest;

namespace {

class UsbLinkTest : public ::testing::Test {
protected:
    UsbLinkTest() {
        opts.loadDriver = [this] {
            zns::d2xx::LoadResult r;
            if (haveDriver) r.driver = driver;
            return r;
        };
        opts.errorLog = [this](const std::string& k, const std::string& t) { errors.Write(k, t); };
        opts.clock = &clock;
        shared.settings.PulsResolution = 1000;
        shared.settings.PulleysCircumference = 5000;
    }

    std::unique_ptr<CUSB> Make() { return std::make_unique<CUSB>(shared, stream, report, &settings, opts); }

    std::shared_ptr<ScriptDriver> driver = std::make_shared<ScriptDriver>();
    bool haveDriver = true;
    zns::FakeClock clock;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    CToolsStream stream{shared, header, writer, {}, clock};
    RecordingReport report{&shared};
    ErrorLogSink errors;
    CUSB::Options opts;
};

}  // namespace

// ---- driver --------------------------------------------------------------------

TEST_F(UsbLinkTest, WrappersWithoutTheDriverSayWhichEntryPoint) {
    auto usb = Make();
    EXPECT_EQ(usb->Open(0), 1u);
    uint32_t n = 0;
    uint8_t b[4];
    EXPECT_EQ(usb->Read(b, 4, &n), 1u);
    EXPECT_EQ(usb->SetLatencyTimer(2), 1u);
    EXPECT_EQ(report.Boxes(), (std::vector<std::string>{"FT_Open is not valid!", "FT_Read is not valid!",
                                                         "FT_SetLatencyTimer is not valid!"}));
}

TEST_F(UsbLinkTest, WithoutADriverTheProgramGoesOnWithoutALink) {
    haveDriver = false;
    auto usb = Make();
    EXPECT_FALSE(usb->Init());
    EXPECT_EQ(report.Boxes(), std::vector<std::string>{"USB driver not installed."});
    EXPECT_EQ(report.LastTextOf(SB_PART_LINK), "USB not installed.");
    EXPECT_FALSE(shared.m_bUsbLoaded);
    EXPECT_FALSE(shared.m_bLinkWatchRunning);
    // Nobody writes commands: none stays pending.
    EXPECT_TRUE(usb->sendF1());
    EXPECT_EQ(shared.TxLength(), 0);
}

TEST_F(UsbLinkTest, AMissingEntryPointFailsLoadingEvenIfNeverCalled) {
    driver->missing = {"FT_SetBreakOn"};
    auto usb = Make();
    EXPECT_FALSE(usb->LoadDriver());
    EXPECT_EQ(report.Boxes(), std::vector<std::string>{
                                  "Error: Can't Find FT_SetBreakOn \n Install the last version USB FTDI driver"});
}

TEST_F(UsbLinkTest, MissingReadOrWriteHaveTheirOwnText) {
    driver->missing = {"FT_Read"};
    auto usb = Make();
    EXPECT_FALSE(usb->LoadDriver());
    driver->missing = {"FT_Write", "FT_Read"};
    EXPECT_FALSE(usb->LoadDriver());
    EXPECT_EQ(report.Boxes(),
              (std::vector<std::string>{"Error:\n Can't Find FT_Read \n Install the last version USB FTDI driver",
                                        "Error:\n Can't Find FT_Write \n Install the last version USB FTDI driver"}));
}

// ---- opening ----------------------------------------------------------------------

TEST_F(UsbLinkTest, OpenByIndexAcceptsOnlyTheLoggersIdentity) {
    auto usb = Make();
    ASSERT_TRUE(usb->LoadDriver());
    EXPECT_EQ(usb->OpenByIndexChecked(), 0u);
    EXPECT_TRUE(usb->DeviceFound());
    EXPECT_EQ(usb->GetSerialNumber(), "QK-12345678");
    usb->Close();

    driver->identity.ProductId = CUSB::kUnknownChipProductId;  // another FTDI chip
    EXPECT_EQ(usb->OpenByIndexChecked(), 2u);
    EXPECT_FALSE(usb->DeviceFound());
    EXPECT_EQ(usb->GetStatusText(), "USB unknown");
    usb->Close();

    driver->identity = {0x1234, 0x6001, "", "Logger", "X"};
    EXPECT_EQ(usb->OpenByIndexChecked(), 2u);
    usb->Close();
    driver->identity = {0x0403, 0x6001, "", "FT232R USB UART", "X"};  // another instrument's chip
    EXPECT_EQ(usb->OpenByIndexChecked(), 2u);
    usb->Close();

    // A logger that cannot be opened (no permission) says so in the error log, once.
    driver->openStatus = zns::d2xx::FT_DEVICE_NOT_OPENED;
    EXPECT_EQ(usb->OpenByIndexChecked(), 3u);
    EXPECT_EQ(usb->OpenByIndexChecked(), 3u);
    EXPECT_EQ(errors.Entries(), (std::vector<std::pair<std::string, std::string>>{{"err1051", "Device not opened"}}));

    driver->present = false;
    EXPECT_EQ(usb->OpenByIndexChecked(), zns::d2xx::FT_DEVICE_NOT_FOUND);
}

TEST_F(UsbLinkTest, OpenByNameUsesDescriptionOrSerial) {
    auto usb = Make();
    ASSERT_TRUE(usb->LoadDriver());
    usb->SetOpenMode(CUSB::OPEN_BY_DESCRIPTION);
    EXPECT_EQ(usb->OpenByName(), 0u);
    EXPECT_TRUE(usb->DeviceFound());
    EXPECT_EQ(usb->GetSerialNumber(), "QK-12345678");
    usb->Close();

    usb->SetOpenMode(CUSB::OPEN_BY_SERIAL);
    usb->SetSerialNumber("QK-99999999");
    EXPECT_EQ(usb->OpenByName(), zns::d2xx::FT_DEVICE_NOT_FOUND);
    usb->SetSerialNumber("QK-12345678");
    EXPECT_EQ(usb->OpenByName(), 0u);
}

// ---- link check ----------------------------------------------------------------------

TEST_F(UsbLinkTest, CheckLinkCyclesItsDots) {
    driver->present = false;
    auto usb = Make();
    ASSERT_TRUE(usb->LoadDriver());
    std::vector<std::string> seen;
    for (int i = 0; i < 10; ++i) {
        usb->CheckLink();
        seen.push_back(usb->GetStatusText());
    }
    EXPECT_EQ(seen.front(), "Checking USB Link .");
    EXPECT_EQ(seen[8], "Checking USB Link .........");
    EXPECT_EQ(seen[9], "Checking USB Link .");
    EXPECT_FALSE(usb->DeviceFound());
    EXPECT_FALSE(shared.m_bReceiveRun);
}

TEST_F(UsbLinkTest, FirstConnectionDrainsPurgesAndSendsCommandZeroAtOnce) {
    shared.settings.CableType = 1;
    shared.settings.PulleyDir = 1;
    driver->AddIncoming({1, 2, 3, 4, 5});
    shared.m_bSondePowered = true;
    auto usb = Make();
    ASSERT_TRUE(usb->LoadDriver());
    const int64_t t0 = clock.NowSteadyMs();
    usb->CheckLink();

    EXPECT_TRUE(usb->DeviceFound());
    EXPECT_TRUE(shared.m_bReceiveRun);
    EXPECT_EQ(usb->GetStatusText(), "USB link connected");
    EXPECT_EQ(driver->Incoming(), 0u);
    EXPECT_EQ(driver->Written(), (std::vector<std::vector<uint8_t>>{{0x00, 0x30, 0x30}}));
    EXPECT_EQ(shared.TxLength(), 0);  // written directly, not queued as well
    EXPECT_TRUE(shared.m_bTxActivity);
    EXPECT_EQ(report.Beeps(), (std::vector<std::pair<int, int>>{{300, 100}, {1200, 200}}));
    EXPECT_GE(clock.NowSteadyMs() - t0, 800);  // the tones and the 500 ms after command 0

    // Reset, 3000 ms time-outs, purge of the receive side; 3 ms and latency 2 at the end.
    std::vector<std::string> names;
    for (const auto& c : driver->Calls()) names.push_back(c.name);
    auto pos = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(pos("ResetDevice"), pos("Purge"));
    const auto calls = driver->Calls();
    const auto& last = calls.back();
    EXPECT_EQ(last.name, "SetLatencyTimer");
    EXPECT_EQ(last.a, 2u);
    const auto& beforeLast = calls[calls.size() - 2];
    EXPECT_EQ(beforeLast.name, "SetTimeouts");
    EXPECT_EQ(beforeLast.a, 3u);
}

// ---- texts ----------------------------------------------------------------------------

TEST_F(UsbLinkTest, ErrorLogTextsByStatus) {
    auto usb = Make();
    usb->ReportError(0, CUSB::LOC_WRITE);
    const std::pair<uint32_t, const char*> table[] = {
        {1, "Invalid handle"}, {2, "Device not found:"},       {3, "Device not opened"},
        {4, "IO Error"},       {5, "Insufficient ressources"}, {6, "invalid parameter send"},
        {8, "New Time mode"},  {20, "CheckHeaderUSBTrame recept"}, {7, ""},
    };
    for (const auto& [st, text] : table) usb->ReportError(st, CUSB::LOC_WRITE);
    const auto e = errors.Entries();
    ASSERT_EQ(e.size(), std::size(table));
    for (size_t i = 0; i < e.size(); ++i) {
        EXPECT_EQ(e[i].first, "err5570");
        EXPECT_EQ(e[i].second, table[i].second);
    }
    usb->ReportError(4, CUSB::LOC_QUEUE);
    EXPECT_EQ(errors.Entries().back().first, "err5550");
}

TEST_F(UsbLinkTest, StatusBarTextsAndTheLostLinkBox) {
    auto usb = Make();
    usb->PostCounter(1563, SB_PART_HARDWARE);
    usb->PostCounter(42, SB_PART_COUNTER);
    EXPECT_EQ(report.LastTextOf(SB_PART_HARDWARE), "Packet size 1563 Bytes");
    EXPECT_EQ(report.LastTextOf(SB_PART_COUNTER), "42");
    shared.m_bExiting = true;
    usb->PostCounter(43, SB_PART_COUNTER);
    EXPECT_EQ(report.LastTextOf(SB_PART_COUNTER), "42");

    EXPECT_EQ(CUSB::IoErrorText(123.456), "I/O USB error.\nApplication stopped at 123.46m.");
    EXPECT_EQ(CUSB::IoErrorText(std::numeric_limits<double>::quiet_NaN()),
              "I/O USB error.\nApplication stopped at  --- m.");
}
