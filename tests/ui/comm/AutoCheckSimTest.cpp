// The communication auto-check against the simulated logger, through the real
// link (CUSB, its threads and the sim driver) on virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LinkRig.h"
#include "platform/WinUser.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"
#include "ui/dialogs/AutoCheckCore.h"

using namespace linktest;
namespace sim = zns::sim;

namespace {

class Host : public zns::IAutoCheckHost {
public:
    Host(LinkRig& rig, std::function<void(int)> wait) : m_rig(rig), m_wait(std::move(wait)) {}
    zns::AutoCheckCore* core = nullptr;
    std::vector<std::string> boxes, statuses;
    std::vector<int> answers;  // next answers, in order; then IDYES
    int closes = 0, reports = 0, saves = 0, refreshes = 0;
    bool ended = false;

    bool SendCommand(int code) override {
        sent.push_back(code);
        return code == 8 ? m_rig.usb->sendF8() : m_rig.usb->sendF3();
    }
    void ShowValue(zns::CheckField, bool, int) override {}
    void SetFieldColor(zns::CheckField, bool, uint32_t) override {}
    void ShowStatus(const std::string& text, uint32_t) override { statuses.push_back(text); }
    int MessageBox(const std::string& text, unsigned) override {
        boxes.push_back(text);
        if (answers.empty()) return IDYES;
        const int a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void Wait(int ms) override { m_wait(ms); }
    void RefreshPages() override { ++refreshes; }
    void SaveConfig() override { ++saves; }
    void WriteReport() override { ++reports; }
    void Close() override {
        ++closes;
        if (core->Cancel()) ended = true;
    }
    std::vector<int> sent;

private:
    LinkRig& m_rig;
    std::function<void(int)> m_wait;
};

class AutoCheckSimTest : public ::testing::Test {
protected:
    void Make(sim::Scenario s) {
        cfg.scenario = s;
        logger = std::make_unique<sim::SimLogger>(clock, cfg);
        driver = zns::d2xx::MakeSimDriver(*logger, clock);
        rig.Make([this] {
            zns::d2xx::LoadResult r;
            r.driver = driver;
            return r;
        });
        clock.SetSpeedup(40);
        ASSERT_TRUE(rig.usb->Init());
        ASSERT_TRUE(WaitUntil([&] { return rig.shared.SnapshotSonde().Echo1500 == 1500; }));
        // The sonde on, with the operator's values.
        rig.shared.m_bSondePowered = true;
        ASSERT_TRUE(rig.usb->sendF8());
        ASSERT_TRUE(WaitUntil([&] { return logger->Snapshot().mode == RECMODE_TIME; }));
        before = rig.shared.SnapshotSettings();
    }
    void TearDown() override {
        if (rig.usb) rig.usb->Shutdown();
    }
    // Lets `ms` of virtual time pass in short steps, each one only once the link
    // has sent what was queued and read what the logger sent: a link thread that
    // the machine holds back does not fall behind the checks.
    void Elapse(int ms) {
        for (int left = ms; left > 0; left -= 50) {
            clock.SleepMs(std::min(left, 50));
            const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while ((rig.shared.TxLength() != 0 || logger->HostAvailable() != 0) &&
                   std::chrono::steady_clock::now() < bound)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    std::function<void(int)> Waiter() {
        return [this](int ms) { Elapse(ms); };
    }
    // Runs the state timer until it stops; false when it runs away.
    bool Run(zns::AutoCheckCore& core) {
        int delay = core.Start();
        for (int ticks = 0; delay >= 0; ++ticks) {
            if (ticks > 20000) return false;
            Elapse(delay);
            delay = core.Tick();
        }
        return true;
    }
    void ExpectSavedValuesBack() {
        const AcquisitionSettings s = rig.shared.SnapshotSettings();
        EXPECT_EQ(s.UpGain, before.UpGain);
        EXPECT_EQ(s.DownDrive, before.DownDrive);
        EXPECT_EQ(s.UpDrive, before.UpDrive);
        EXPECT_EQ(s.BaudDivisor, before.BaudDivisor);
        EXPECT_EQ(s.TimeInterval, before.TimeInterval);
        EXPECT_EQ(s.RecordingMode, before.RecordingMode);
        EXPECT_EQ(s.ZNSModus_Rx1, before.ZNSModus_Rx1);
        // ... and the logger has them.
        ASSERT_TRUE(WaitUntil([&] {
            const sim::SimSnapshot r = logger->Snapshot();
            return r.upGain == before.UpGain && r.downDrive == before.DownDrive && r.upDrive == before.UpDrive &&
                   r.baudDivisor == before.BaudDivisor;
        }));
    }

    PacedClock clock;
    sim::SimConfig cfg;
    std::unique_ptr<sim::SimLogger> logger;
    std::shared_ptr<zns::d2xx::ID2xx> driver;
    LinkRig rig{clock};
    AcquisitionSettings before;
};

}  // namespace

TEST_F(AutoCheckSimTest, NormalLinkFindsAWorkingBaudAndAcceptsIt) {
    Make(sim::Scenario::Normal);
    Host host(rig, Waiter());
    zns::AutoCheckCore core(rig.shared, host);
    host.core = &core;
    ASSERT_TRUE(Run(core));

    // A sweep pass for the drives the sonde hears, none outside.
    EXPECT_TRUE(core.DrivePassed(cfg.downDriveMin + 1));
    EXPECT_TRUE(core.DrivePassed(cfg.downDriveMax - 1));
    EXPECT_FALSE(core.DrivePassed(cfg.downDriveMin - 2));
    EXPECT_FALSE(core.DrivePassed(cfg.downDriveMax + 2));

    // Rows from the slowest baud on, each a gain window of 7 values.
    ASSERT_GE(core.RowCount(), 1);
    const auto& rows = core.Rows();
    EXPECT_EQ(rows[0].baudDivisor, 20);
    EXPECT_EQ(rows[0].valid, 1);
    for (int i = 0; i < core.RowCount(); ++i) {
        EXPECT_EQ(rows[size_t(i)].gainMax - rows[size_t(i)].gainMin, 6) << i;
        EXPECT_EQ(rows[size_t(i)].downDrive, (cfg.downDriveMin + cfg.downDriveMax) / 2) << i;
    }
    // No row faster than the fastest usable divisor.
    for (int i = 0; i < core.RowCount(); ++i) EXPECT_GE(rows[size_t(i)].baudDivisor, cfg.fastestBaudDivisor);

    // The final question was asked and answered Yes: the trial values became the
    // settings, the saved trace codes and interval came back, all was saved and
    // the report written; the check has ended.
    ASSERT_FALSE(host.boxes.empty());
    const std::string& q = host.boxes.back();
    RecordProperty("final_question", q);
    RecordProperty("rows", core.RowCount());
    EXPECT_TRUE(q.rfind("Success at ", 0) == 0 || q.rfind("Communication at ", 0) == 0) << q;
    EXPECT_NE(q.find("\nAccept ?"), std::string::npos);
    EXPECT_FALSE(rig.shared.m_bCommCheck);
    EXPECT_EQ(host.reports, 1);
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_TRUE(host.ended);
    const AcquisitionSettings s = rig.shared.SnapshotSettings();
    EXPECT_EQ(s.BaudDivisor, core.Trial(zns::CheckField::Baud));
    EXPECT_EQ(s.UpGain, core.Trial(zns::CheckField::Gain));
    EXPECT_EQ(s.DownDrive, core.Trial(zns::CheckField::DownDrive));
    EXPECT_EQ(s.UpDrive, core.Trial(zns::CheckField::UpDrive));
    EXPECT_EQ(s.ZNSModus_Rx1, before.ZNSModus_Rx1);
    EXPECT_EQ(s.TimeInterval, before.TimeInterval);
    // What the check chose works on the simulated link.
    EXPECT_EQ(sim::SimLogger::LinkStatus(cfg, cfg.scenario, s.DownDrive, s.UpGain, s.UpDrive, s.BaudDivisor), 0x01);
    ASSERT_TRUE(WaitUntil([&] { return logger->Snapshot().baudDivisor == s.BaudDivisor; }));
}

TEST_F(AutoCheckSimTest, SondeThatNeverAnswersAbortsAndRestores) {
    Make(sim::Scenario::SondeNeverAnswers);
    Host host(rig, Waiter());
    zns::AutoCheckCore core(rig.shared, host);
    host.core = &core;
    ASSERT_TRUE(Run(core));
    ASSERT_FALSE(host.boxes.empty());
    EXPECT_EQ(host.boxes.back(), "Aborted...\nNo result...");
    EXPECT_EQ(core.Trial(zns::CheckField::DownDrive), 60);  // every drive was tried, none past 60
    EXPECT_TRUE(host.ended);
    EXPECT_FALSE(rig.shared.m_bCommCheck);
    EXPECT_EQ(host.reports, 0);
    EXPECT_EQ(host.saves, 0);  // the cancel path does not save
    ExpectSavedValuesBack();
}

TEST_F(AutoCheckSimTest, StuckGainEchoReportsAndWaitsForCancel) {
    Make(sim::Scenario::GainEchoStuck);
    Host host(rig, Waiter());
    zns::AutoCheckCore core(rig.shared, host);
    host.core = &core;
    ASSERT_TRUE(Run(core));
    ASSERT_FALSE(host.boxes.empty());
    EXPECT_EQ(host.boxes.back(), "Bad communication !!!\n no result ..  fail !!!");
    // The dialog stays open; the check still counts as running until "&Cancel".
    EXPECT_FALSE(host.ended);
    EXPECT_TRUE(rig.shared.m_bCommCheck);
    ExpectSavedValuesBack();
    EXPECT_TRUE(core.Cancel());
    EXPECT_FALSE(rig.shared.m_bCommCheck);
    EXPECT_EQ(host.statuses.back(), "Parametres restored , wait !!!");
    EXPECT_EQ(host.reports, 0);
}

TEST_F(AutoCheckSimTest, FinalCheckThatFailsWalksBackAndIsRefused) {
    Make(sim::Scenario::FinalCheckFails);
    Host host(rig, Waiter());
    host.answers = {IDNO};
    zns::AutoCheckCore core(rig.shared, host);
    host.core = &core;
    ASSERT_TRUE(Run(core));
    ASSERT_FALSE(host.boxes.empty());
    const std::string& q = host.boxes.back();
    EXPECT_EQ(q.rfind("Communication at ", 0), 0u) << q;
    EXPECT_NE(q.find(" bauds.\n Last Check invalid !!!\nAccept ?"), std::string::npos) << q;
    EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), "Restore last range parameters, wait !!!"),
              host.statuses.end());
    // The walk-back marked rows invalid from the end; row 0 stays.
    EXPECT_EQ(core.Rows()[0].valid, 1);
    EXPECT_EQ(core.RowCount(), 0);
    // Refused: the operator's values are back, saved, and the report written.
    EXPECT_EQ(host.reports, 1);
    EXPECT_EQ(host.saves, 1);
    EXPECT_FALSE(rig.shared.m_bCommCheck);
    ExpectSavedValuesBack();
}

