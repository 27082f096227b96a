// The link lost in the middle of a log and back: the records written before
// the loss stay intact, and the log goes on in the same file once the logger
// is back, without a write failure or a half frame in the file; its hole is told once.
#include "FaultSupport.h"
#include "link/USB.h"
#include "platform/d2xx/D2xx.h"
#include "sim/SimDriver.h"
#include "settings/Preferences.h"

using namespace faults;
namespace sim = zns::sim;

namespace {

class LinkLostTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        cfg.winchSpeedMpm = 9.0;
        cfg.winchDown = GetParam() != RECMODE_UP;
        cfg.startDepthM = 100.0;
        logger = std::make_unique<sim::SimLogger>(clock, cfg);
        driver = zns::d2xx::MakeSimDriver(*logger, clock);
        {
            std::lock_guard<std::mutex> g(shared.acqMutex);
            LoggingSettings(shared.settings, GetParam());
        }
        settings.sondeDb.Voltage = 90;
        CToolsStream::FrameHooks hooks;
        hooks.report = &report;
        hooks.sendF1 = [this] { return usb && usb->sendF1(); };
        stream.SetFrameHooks(hooks);
        CUSB::Options o;
        o.loadDriver = [this] {
            zns::d2xx::LoadResult r;
            r.driver = driver;
            return r;
        };
        o.errorLog = [this](const std::string& key, const std::string&) { logged.push_back(key); };
        o.clock = &clock;
        usb = std::make_unique<CUSB>(shared, stream, report, &settings, o);
    }
    void TearDown() override {
        if (usb) usb->Shutdown();
    }
    size_t Records() { return ScanFile(data).records.size(); }

    PacedClock clock;
    sim::SimConfig cfg;
    std::unique_ptr<sim::SimLogger> logger;
    std::shared_ptr<zns::d2xx::ID2xx> driver;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    Report report;
    CToolsStream stream{shared, header, writer, {}, clock};
    std::vector<std::string> logged;  // error-log keys
    std::unique_ptr<CUSB> usb;
    TempDir dir;
    std::string data = dir.File("log.zne");
};

}  // namespace

TEST_P(LinkLostTest, RecordsBeforeTheLossStayAndTheLogGoesOn) {
    const int mode = GetParam();
    clock.SetSpeedup(5);  // the logger comes back well before the lost-link box is due
    ASSERT_TRUE(usb->Init());
    ASSERT_TRUE(WaitUntil([&] { return shared.SnapshotSonde().Echo1500 == 1500; }));
    shared.m_bDownDirection = mode != RECMODE_UP;
    shared.m_bSondePowered = true;
    ASSERT_TRUE(usb->sendF8());
    ASSERT_TRUE(WaitUntil([&] { return logger->Snapshot().mode == mode; }));
    // Frames reach the PC in pieces, so that the loss falls inside one.
    logger->SetSplitReads(9);

    ASSERT_TRUE(writer.Open(data, ""));
    shared.g_bFirstRecordPending = true;
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
    }
    ASSERT_TRUE(WaitUntil([&] { return Records() >= 6; }, 60000));

    logger->Unplug();
    ASSERT_TRUE(WaitUntil([&] { return usb->LastReceiveExit() == CUSB::EXIT_RX_LINK_ERROR; }));
    const Bytes before = ReadBytes(data);
    const FileScan kept = ScanFile(data);
    EXPECT_EQ(kept.end, zns::RecordStatus::EndOfFile);  // whole records only
    ASSERT_GE(kept.records.size(), 6u);

    logger->Replug();
    ASSERT_TRUE(WaitUntil([&] { return usb->ReceiveStarts() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return Records() >= kept.records.size() + 6; }, 60000));
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 0;
    }
    writer.Close();
    usb->Shutdown();

    // The records from before the loss are there byte for byte, the log went
    // on after them, and the whole file reads back.
    const Bytes after = ReadBytes(data);
    ASSERT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    const FileScan all = ScanFile(data);
    EXPECT_EQ(all.end, zns::RecordStatus::EndOfFile);
    ASSERT_GE(all.records.size(), kept.records.size() + 6);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(data.c_str(), "rb"), &std::fclose);
    zns::DataFileRecord prev, r;
    ASSERT_EQ(zns::ReadRecord(f.get(), prev), zns::RecordStatus::Ok);
    while (zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) {
        EXPECT_GE(r.elapsedMs, prev.elapsedMs);
        if (mode == RECMODE_DOWN) { EXPECT_GE(r.depthMm, prev.depthMm); }
        if (mode == RECMODE_UP) { EXPECT_LE(r.depthMm, prev.depthMm); }
        prev = r;
    }
    EXPECT_TRUE(report.Failures().empty());
    EXPECT_EQ(report.Boxes(), std::vector{CUSB::LinkGapText()});
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "err1055"), 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, LinkLostTest, ::testing::Values(RECMODE_TIME, RECMODE_DOWN, RECMODE_UP),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::string(i.param == RECMODE_TIME ? "Time" : i.param == RECMODE_DOWN ? "Down" : "Up");
                         });
