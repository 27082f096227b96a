// The communication report: name, header, table, "No communication !!!", CR LF.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <functional>
#include <vector>

#include "records/SharedRecords.h"

#include "ui/dialogs/AutoCheckCore.h"
#include "ui/dialogs/CommReport.h"

namespace {

std::string Slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

zns::LocalTime Date() {
    zns::LocalTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 5;
    return t;
}

}  // namespace

TEST(CommReport, NameFromSerialAndCable) {
    EXPECT_EQ(zns::CommReportPath("/p/", 12, 0), "/p/reporting_0012_4cond.txt");
    EXPECT_EQ(zns::CommReportPath("/p/", 12345, 1), "/p/reporting_12345_mono.txt");
}

TEST(CommReport, TableUpToTheFirstInvalidRow) {
    zns::CheckRow rows[zns::kCheckRowCount] = {};
    rows[0] = {27, 27, 8, 14, 20, 1};
    rows[1] = {27, 5, 10, 16, 4, 1};
    rows[2] = {27, 9, 9, 15, 10, 0};
    rows[3] = {27, 9, 9, 15, 8, 1};  // behind an invalid row: not written
    const std::string t = zns::CommReportText(12, 0, Date(), rows, zns::kCheckRowCount);
    EXPECT_EQ(t,
              "Communication report - 05 March 2024\n"
              "ZNS serial number :0012 - cable type :4cond\nWritten by Halvex s.a.\n\n"
              "BaudRate DownHoleDrive UpholeDrive Gain :Min  Max(checked)\n"
              "  31250        27          27             08  14\n"
              " 156250        27          05             10  16\n");
}

TEST(CommReport, NoCommunicationAndRewrite) {
    zns::CheckRow rows[zns::kCheckRowCount] = {};
    const std::string t = zns::CommReportText(7, 1, Date(), rows, zns::kCheckRowCount);
    EXPECT_EQ(t, "Communication report - 05 March 2024\nZNS serial number :0007 - cable type :mono\n"
                 "Written by Halvex s.a.\n\nNo communication !!!");

    const auto dir = std::filesystem::temp_directory_path() / "zns-commreport-test";
    std::filesystem::create_directories(dir);
    const std::string path = zns::CommReportPath(dir.string() + "/", 7, 1);
    ASSERT_TRUE(zns::WriteCommReportFile(path, "first run\nlonger text\n"));
    ASSERT_TRUE(zns::WriteCommReportFile(path, t));
    const std::string disk = Slurp(path);
    EXPECT_EQ(disk, "Communication report - 05 March 2024\r\nZNS serial number :0007 - cable type :mono\r\n"
                    "Written by Halvex s.a.\r\n\r\nNo communication !!!");
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(zns::WriteCommReportFile("/nonexistent-dir/x/report.txt", t));
}

TEST(AutoCheckRules, UpDriveAndDriveRunAndDivisorOrder) {
    EXPECT_EQ(zns::CheckUpDrive(10, 40), 30);
    EXPECT_EQ(zns::CheckUpDrive(4, 20), 8);
    EXPECT_EQ(zns::CheckUpDrive(20, 10), 10);
    EXPECT_EQ(zns::CheckUpDrive(4, 6), 5);

    uint8_t pass[100] = {};
    for (int d = 12; d <= 20; ++d) pass[d] = 1;
    for (int d = 30; d <= 40; ++d) pass[d] = 1;
    EXPECT_EQ(zns::AutoCheckCore::MiddleOfFirstRun(pass), 16);
    uint8_t none[100] = {};
    none[60] = 1;  // 60 is swept but never chosen
    EXPECT_EQ(zns::AutoCheckCore::MiddleOfFirstRun(none), -1);

    int d = 20, n = 0;
    while ((d = zns::NextFasterDivisor(d)) != 0) ++n;
    EXPECT_EQ(n, 9);
    EXPECT_EQ(zns::NextFasterDivisor(6), 5);
    EXPECT_EQ(zns::NextFasterDivisor(4), 0);
}

namespace {

// A host without a link: records the status line; its waits run `onWait`.
struct QuietHost : zns::IAutoCheckHost {
    std::vector<std::string> statuses;
    std::function<void()> onWait;
    int waits = 0;
    bool SendCommand(int) override { return true; }
    void ShowValue(zns::CheckField, bool, int) override {}
    void SetFieldColor(zns::CheckField, bool, uint32_t) override {}
    void ShowStatus(const std::string& t, uint32_t) override { statuses.push_back(t); }
    int MessageBox(const std::string&, unsigned) override { return 0; }
    void Wait(int) override {
        ++waits;
        if (onWait) onWait();
    }
    void RefreshPages() override {}
    void SaveConfig() override {}
    void WriteReport() override {}
    void Close() override {}
};

}  // namespace

TEST(AutoCheckRules, CancelDuringVerificationOnlyAsksToWait) {
    SharedData shared;
    QuietHost host;
    zns::AutoCheckCore core(shared, host);
    core.Start();
    bool cancelled = true;
    host.onWait = [&] {
        if (host.waits == 3) cancelled = core.Cancel();
    };
    EXPECT_FALSE(core.VerifyParameters());  // no frame ever comes
    EXPECT_EQ(host.waits, 100);
    EXPECT_FALSE(cancelled);
    EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), "Wait end of last check !!!"),
              host.statuses.end());
    EXPECT_TRUE(shared.m_bCommCheck);
    // Afterwards the cancel runs and ends the check.
    EXPECT_TRUE(core.Cancel());
    EXPECT_FALSE(shared.m_bCommCheck);
}
