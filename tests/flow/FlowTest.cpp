// The acquisition flow through the main window on the simulated logger:
// the Demo log opened on a first start and replayed record for record; the
// sonde powered from the panel, a new log recorded, stopped, opened and
// replayed; a recording cut by a lost link; the alarm box and the status bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QPushButton>
#include <QSlider>
#include <sys/mount.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "link/Recorder.h"
#include "link/USB.h"
#include "link/ToolsStream.h"
#include "platform/d2xx/D2xx.h"
#include "platform/ui/TestApp.h"
#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "settings/Ini.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/dialogs/AlarmDlg.h"
#include "ui/dialogs/PWideDlg.h"
#include "ui/dialogs/PowerDlg.h"

using apptest::WaitFor;
using Dlg = CBrannicZenova_Dlg;

namespace {

struct Program {
    apptest::ProgramDir dir;
    CBrannicLogger_ZNApp app;
    Dlg* dlg = nullptr;
    CPowerDlg* power = nullptr;
    // The operator cancels the program's own modal dialogs (recording mode,
    // header editor), whose results a new log does not consult.
    QTimer modalCanceller;
    std::vector<std::string> modalTitles;

    explicit Program(const char* logger = "sim") {
        QObject::connect(&modalCanceller, &QTimer::timeout, [this] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                modalTitles.push_back(d->metaObject()->className());
                d->reject();
            }
        });
        modalCanceller.start(10);
        app.m_nShutdownPauseMs = 0;
        setenv("ZNS_LOGGER", logger, 1);
        EXPECT_TRUE(app.StartInstance());
        dlg = &app.MakeMainWindow();
        EXPECT_TRUE(dlg->Create());
        dlg->show();
        setenv("ZNS_LOGGER", "sim", 1);
        power = dlg->PowerPanel();
        dlg->SetDisplayTap([this](const Dlg::DisplayRow& r) {
            std::lock_guard<std::mutex> g(mu);
            rows.push_back(r);
        });
        zns::ui::PumpEvents();
    }
    ~Program() {
        dlg->SetDisplayTap({});
        app.Shutdown();
    }

    SharedData& Shared() { return app.Shared(); }
    bool Connected() {
        // Connected, and the logger's first answer in (before it a press only switches off).
        return WaitFor([this] { return Shared().m_nLinkState.load() >= LINK_ANSWER; }, 5000);
    }
    std::vector<Dlg::DisplayRow> Rows(bool replayOnly = false) {
        std::lock_guard<std::mutex> g(mu);
        std::vector<Dlg::DisplayRow> out;
        for (const auto& r : rows)
            if (r.replay || !replayOnly) out.push_back(r);
        return out;
    }
    size_t ReplayRowCount() { return Rows(true).size(); }
    void ClearRows() {
        std::lock_guard<std::mutex> g(mu);
        rows.clear();
    }
    int Written() {
        const size_t size = zns::RecordSize(Shared().SnapshotSonde().TraceByte);
        return static_cast<int>(app.Writer().Size() / static_cast<int64_t>(size));
    }
    // The panel's power button; true once the sonde is on (settings taken) or off.
    bool PressPower(bool on) {
        power->SendCommand(CPowerDlg::IDC_POWER);
        const bool done = WaitFor(
            [&] {
                const int mode = Shared().SnapshotSonde().Mode & 0x0F;
                return power->Power().Powered() == on && !power->Power().Adjusting() && (mode != 0) == on;
            },
            10000);
        if (!done)
            ADD_FAILURE() << "powered " << power->Power().Powered() << " adjusting " << power->Power().Adjusting()
                          << " mode " << (Shared().SnapshotSonde().Mode & 0x0F) << " status '"
                          << power->GetDlgItemText(CPowerDlg::IDC_STATUS) << "' boxes " << dir.Ui().BoxCount()
                          << " " << dir.Ui().LastBox().text;
        return done;
    }
    bool Open(const std::string& path) {
        dir.Ui().PushFileAnswer(path);
        dlg->SendCommand(Dlg::ID_FILE_OPEN);
        return Shared().SnapshotSession().ReplayLoaded != 0;
    }
    // Play at the fastest pace to the end of the file.
    bool PlayToTheEnd(size_t records) {
        power->GetDlgItem<QSlider>(CPowerDlg::IDC_SPEED)->setValue(CPlayer::kSliderMax);
        power->SendCommand(CPowerDlg::IDC_PLAY);
        return WaitFor([&] { return ReplayRowCount() >= records && !Shared().SnapshotSession().Running; }, 30000);
    }

    std::mutex mu;
    std::vector<Dlg::DisplayRow> rows;
};

std::vector<zns::DataFileRecord> ReadRecords(const std::string& path, bool* whole) {
    std::vector<zns::DataFileRecord> out;
    *whole = false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    for (;;) {
        auto rec = std::make_unique<zns::DataFileRecord>();
        const zns::RecordStatus st = zns::ReadRecord(f, *rec);
        if (st != zns::RecordStatus::Ok) {
            *whole = st == zns::RecordStatus::EndOfFile;
            break;
        }
        out.push_back(*rec);
    }
    std::fclose(f);
    return out;
}

bool SameTraces(const zns::DataFileRecord& rec, const Dlg::DisplayRow& row) {
    for (int rx = 0; rx < 3; ++rx) {
        if (row.code[rx] != rec.Code(rx)) return false;
        if (static_cast<int>(row.traces[rx].size()) != rec.SampleCount(rx)) return false;
        for (int i = 0; i < rec.SampleCount(rx); ++i)
            if (row.traces[rx][size_t(i)] != rec.trace[rx][size_t(i)]) return false;
    }
    return true;
}

// What the replay handed to the displays is the file, record for record.
void ExpectReplayIsTheFile(const std::vector<Dlg::DisplayRow>& rows, const std::vector<zns::DataFileRecord>& recs) {
    ASSERT_EQ(rows.size(), recs.size());
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_TRUE(rows[i].replay);
        EXPECT_DOUBLE_EQ(rows[i].depth, recs[i].depthMm / 1000.0) << i;
        EXPECT_EQ(rows[i].gamma, recs[i].gamma) << i;
        EXPECT_TRUE(SameTraces(recs[i], rows[i])) << "record " << i;
    }
}

TEST(Flow, TheDemoLogOpensOnAFirstStartAndReplaysRecordForRecord) {
    Program p;
    auto& ui = p.dir.Ui();
    const std::string demo = p.dir.File("Demo/ZNS_IT_UP.zne");
    bool whole = false;
    const auto recs = ReadRecords(demo, &whole);
    ASSERT_TRUE(whole);
    ASSERT_GE(recs.size(), 200u);

    ASSERT_TRUE(p.Open(demo));
    // A first start names the Demo log: the dialog opens on it.
    ASSERT_EQ(ui.FileRequests().size(), 1u);
    const auto req = ui.FileRequests()[0];
    EXPECT_TRUE(req.open);
    EXPECT_EQ(req.filter, Dlg::kFilterOpen);
    EXPECT_EQ(req.fileName, demo);
    EXPECT_EQ(ui.BoxCount(), 0u);
    EXPECT_EQ(p.dlg->StatusBar()->GetText(0), "Data file : ZNS_IT_UP.zne");
    EXPECT_EQ(p.app.Header().LogMode, HEADER_LOG_UP);
    EXPECT_EQ(p.app.Header().RXNumber, 3);
    EXPECT_TRUE(p.power->GetDlgItem(CPowerDlg::IDC_PLAY)->isEnabled());
    EXPECT_TRUE(p.power->GetDlgItem(CPowerDlg::IDC_SPEED)->isVisible());
    // The first record is shown at once.
    ASSERT_EQ(p.ReplayRowCount(), 1u);
    EXPECT_TRUE(SameTraces(recs[0], p.Rows(true)[0]));

    p.dlg->SendCommand(Dlg::ID_WIDE_RX1);
    {
        // The first arrivals marked where the log's header picked them.
        std::lock_guard<std::mutex> g(p.Shared().acqMutex);
        for (auto& fa : p.Shared().settings.FA) fa = {40, 100, 1500, 1};
    }
    p.ClearRows();
    ASSERT_TRUE(p.PlayToTheEnd(recs.size()));
    ExpectReplayIsTheFile(p.Rows(true), recs);
    EXPECT_EQ(p.power->Player().Position(), 0);  // back to the start for the next Play
    EXPECT_EQ(p.dlg->WideView(RX1_ID)->Scope()->SampleCount(), 512);

    zns::ui::PumpEvents(300);
    QDir().mkpath(ZNS_ARTIFACTS_DIR);
    p.dlg->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/flow_demo_replay.png");
}

TEST(Flow, PowerRecordStopOpenAndReplay) {
    Program p;
    auto& ui = p.dir.Ui();
    SharedData& s = p.Shared();
    ASSERT_TRUE(p.Connected());

    // Not powered: the operator is told, nothing is chosen or written.
    p.dlg->SendCommand(Dlg::ID_FILE_NEW);
    ASSERT_EQ(ui.BoxCount(), 1u);
    EXPECT_EQ(ui.LastBox().text, CRecorder::kMsgNotPowered);
    EXPECT_EQ(ui.LastBox().Icon(), MB_ICONSTOP);
    EXPECT_TRUE(ui.FileRequests().empty());

    {
        // As the acquisition page would leave them: frames as fast as the link
        // carries them, automatic gains, first arrivals picked where they are.
        std::lock_guard<std::mutex> g(s.acqMutex);
        s.settings.TimeInterval = 250;
        for (int rx = 0; rx < 3; ++rx) {
            s.settings.AGC_Rx(rx) = 1;
            s.settings.FA[rx] = {40, 100, 1500, 1};
        }
    }
    p.dlg->SendCommand(Dlg::ID_WIDE_RX1);
    ASSERT_TRUE(p.PressPower(true));
    EXPECT_EQ(p.dlg->StatusBar()->GetText(0), "Acquisition Mode.");

    // New log under a new name: the header, then the data file. What a killed
    // save and a killed recording of a process that is gone left in the folder goes.
    const std::string log = p.dir.File("run1.zne"), room = p.dir.File(CRecorder::kHeaderRoomFile);
    const std::string killed = p.dir.File(".run1.hed.tmp4194305.0123456789abcdef");
    const std::string users = p.dir.File("run0.hed.Ab3xZ9");  // a user's, two hours old, stays
    for (const std::string& f : {killed, room, users}) {
        QFile left(QString::fromStdString(f));
        ASSERT_TRUE(left.open(QIODevice::WriteOnly) && left.write("left") == 4);
    }
    std::filesystem::last_write_time(users, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    ui.PushFileAnswer(log);
    p.ClearRows();
    p.dlg->SendCommand(Dlg::ID_FILE_NEW);
    EXPECT_FALSE(std::filesystem::exists(killed));
    EXPECT_TRUE(std::filesystem::exists(users));
    QFile kept(QString::fromStdString(room));
    EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.read(4) != "left") << "the log's room is a file of its own";
    ASSERT_EQ(ui.FileRequests().size(), 1u);
    const auto req = ui.FileRequests()[0];
    EXPECT_FALSE(req.open);
    EXPECT_EQ(req.filter, Dlg::kFilterNewLog);
    EXPECT_EQ(req.flags & OFN_FILEMUSTEXIST, 0u);
    EXPECT_TRUE(s.SnapshotSession().Recording);
    EXPECT_EQ(p.dlg->StatusBar()->GetText(0), "Data file : run1.zne");
    EXPECT_EQ(zns::FixedFieldText(p.app.Settings().files.szLastFile), p.dir.File("run1.hed"));
    EXPECT_EQ(p.modalTitles, (std::vector<std::string>{"CPRecordingMode", "CHeaderDlg"}));

    ASSERT_TRUE(WaitFor([&] { return p.Written() >= 8; }, 15000));
    // Frames arriving and the sonde on: leaving is refused, the log goes on.
    EXPECT_FALSE(p.dlg->ConfirmExit());
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgPoweredExit);
    EXPECT_TRUE(s.SnapshotSession().Recording);
    zns::ui::PumpEvents(300);
    QDir().mkpath(ZNS_ARTIFACTS_DIR);
    p.dlg->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/flow_live.png");
    p.dlg->WideView(RX1_ID)->grab().save(QString(ZNS_ARTIFACTS_DIR) + "/flow_live_rx1.png");
    p.power->SendCommand(CPowerDlg::IDC_STOP);
    EXPECT_FALSE(s.SnapshotSession().Recording);
    const auto live = p.Rows();

    bool whole = false;
    const auto recs = ReadRecords(log, &whole);
    EXPECT_TRUE(whole);
    ASSERT_GE(recs.size(), 8u);
    // Every record is a row the displays were given live, in order.
    size_t at = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        while (at < live.size() && !SameTraces(recs[i], live[at])) ++at;
        ASSERT_LT(at, live.size()) << "record " << i << " was never shown";
        ++at;
    }
    CIni hed(p.dir.File("run1.hed"), "WellInfo", TRUE);
    EXPECT_EQ(hed.GetInt("LogMode", 0), HEADER_LOG_TIME);
    EXPECT_EQ(hed.GetInt("EndTime", -1), static_cast<int>(recs.back().elapsedMs));
    EXPECT_EQ(hed.GetString("Rx1_AGC", "", "General"), "yes");

    // Off again (the power-down handshake), then the log replays as recorded.
    ASSERT_TRUE(p.PressPower(false));
    ASSERT_TRUE(p.Open(log));
    p.ClearRows();
    ASSERT_TRUE(p.PlayToTheEnd(recs.size()));
    ExpectReplayIsTheFile(p.Rows(true), recs);
}

TEST(Flow, ANewLogAfterAReplayGetsItsOwnHeaderInAFolderMadeForIt) {
    Program p;
    auto& ui = p.dir.Ui();
    SharedData& s = p.Shared();
    ASSERT_TRUE(p.Connected());
    ASSERT_TRUE(p.Open(p.dir.File("Demo/ZNS_IT_UP.zne")));
    ASSERT_EQ(p.app.Header().EndTime, 224250);
    ASSERT_TRUE(p.PressPower(true));

    // A name in a folder that is not there yet.
    const std::string log = p.dir.File("Logs/well 7/run2.zne");
    ui.PushFileAnswer(log);
    p.dlg->SendCommand(Dlg::ID_FILE_NEW);
    EXPECT_EQ(ui.BoxCount(), 0u) << ui.LastBox().text;
    ASSERT_TRUE(s.SnapshotSession().Recording);
    EXPECT_EQ(zns::IniGetString(p.dir.File("HxZn.cfg"), "BrannicLogger", "LastFile", ""),
              p.dir.File("Logs/well 7/run2.hed"));
    // Before the log's first record its header holds nothing of the log replayed before.
    CIni hed(p.dir.File("Logs/well 7/run2.hed"), "WellInfo", TRUE);
    EXPECT_EQ(hed.GetInt("EndTime", -1), 0);
    EXPECT_EQ(hed.GetInt("StartTime", -1), 0);
    EXPECT_EQ(hed.GetInt("EndDepth", -1), hed.GetInt("Startdepth", -2));
    EXPECT_EQ(hed.GetInt("step", -1), s.SnapshotSettings().TimeInterval);
    p.power->SendCommand(CPowerDlg::IDC_STOP);
    // A header, then a data file that cannot be made: the configuration is back on the last log before the box.
    std::vector<std::string> at;
    const std::string cfg = p.dir.File("HxZn.cfg");
    ui.OnBox([&](const auto&) { at.push_back(zns::IniGetString(cfg, "BrannicLogger", "LastFile", "")); });
    for (const std::string blocked : {"run3.hed", "run4.zne"}) {
        ASSERT_TRUE(std::filesystem::create_directory(p.dir.File("Logs/well 7/" + blocked)));
        ui.PushFileAnswer(p.dir.File("Logs/well 7/" + blocked.substr(0, 4) + ".zne"));
        p.dlg->SendCommand(Dlg::ID_FILE_NEW);
    }
    ui.OnBox(nullptr);
    EXPECT_EQ(at, std::vector<std::string>(2, p.dir.File("Logs/well 7/run2.hed")));
    EXPECT_FALSE(s.SnapshotSession().Recording);
    // A disk with less room than the header is kept: said at New log, before recording.
    const std::string full = p.dir.File("Full");
    ASSERT_TRUE(std::filesystem::create_directory(full));
    if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=256k") == 0) {
        QFile fill(QString::fromStdString(full + "/fill"));
        ASSERT_TRUE(fill.open(QIODevice::WriteOnly) && fill.write(QByteArray(200 * 1024, 'x')) == 200 * 1024);
        fill.close();
        const size_t before = ui.BoxCount();
        std::vector<int> recording;
        ui.OnBox([&](const auto&) { recording.push_back(s.SnapshotSession().Recording); });
        ui.PushFileAnswer(full + "/run5.zne");
        p.dlg->SendCommand(Dlg::ID_FILE_NEW);
        ui.OnBox(nullptr);
        p.power->SendCommand(CPowerDlg::IDC_STOP);
        ::umount2(full.c_str(), MNT_DETACH);
        ASSERT_GT(ui.BoxCount(), before);
        EXPECT_EQ(ui.Boxes()[before].text, zns::Format(CRecorder::kMsgDiskNearlyFull, full.c_str()));
        EXPECT_EQ(recording.at(0), 0);
    }
    ASSERT_TRUE(p.PressPower(false));
}

TEST(Flow, ARecordingCutByALostLinkKeepsEveryRecordWrittenBeforeIt) {
    zns::sim::SimLogger& sim = zns::d2xx::ProcessSimLogger();
    struct Replug {
        zns::sim::SimLogger& sim;
        ~Replug() { sim.Replug(true); }  // back as a logger just switched on
    } replug{sim};

    Program p;
    SharedData& s = p.Shared();
    ASSERT_TRUE(p.Connected());
    ASSERT_TRUE(p.PressPower(true));
    p.modalCanceller.stop();  // the cable drops as the header is edited: only the lost command is told
    apptest::ModalOperator op([&](QDialog& d) {
        if (op.Seen().size() == 2) sim.Unplug();  // at the first log's header editor, saved before the panel knows
        d.reject();
    });
    // Each refused start: the configuration back on the last log as its one box shows.
    const std::string cfg = p.dir.File("HxZn.cfg"), last = zns::IniGetString(cfg, "BrannicLogger", "LastFile", "");
    std::vector<std::string> at;
    p.dir.Ui().OnBox([&](const auto&) { at.push_back(zns::IniGetString(cfg, "BrannicLogger", "LastFile", "")); });
    // A worker's box posted while the held command 8 is awaited (the lost cable's) shows after New log's own.
    QTimer cable;
    QObject::connect(&cable, &QTimer::timeout, [&] {
        std::vector<uint8_t> frame;
        bool awaited = false;
        if (sim.WritesHeld() && s.txQueue.Front(frame, &awaited) && awaited && (cable.stop(), true))
            std::thread([&] { p.dlg->MessageBox(CUSB::IoErrorText(0.0), LinkBoxIcon::Error); }).join();
    });
    cable.start(5);
    for (const std::string name : {"lost", "held"}) {
        if (name == "held") sim.HoldWrites(true);  // command 8 still not out after New log's wait
        p.dir.Ui().PushFileAnswer(p.dir.File(name + ".zne"));
        p.dlg->SendCommand(Dlg::ID_FILE_NEW);
        if (name == "held") sim.Unplug();  // and given up later
        for (const char* ext : {".hed", ".zne"}) EXPECT_FALSE(std::filesystem::exists(p.dir.File(name + ext)));
        EXPECT_FALSE(s.SnapshotSession().Recording);
        ASSERT_TRUE(WaitFor([&] { return !s.m_bReceiveRunning.load() && !s.txQueue.PendingBytes(); }, 5000));
        sim.Replug(false);
        ASSERT_TRUE(WaitFor([&] { return s.m_bReceiveRunning.load() && p.power->Power().Powered(); }, 15000));
        ASSERT_EQ(p.dir.Ui().BoxCount(), name == "held" ? 2u : 1u) << name;
        EXPECT_EQ(p.dir.Ui().Boxes()[0].text, "USB write error.\nCommand 8 did not reach the logger.");
        EXPECT_EQ(p.dir.Ui().LastBox().text, name == "held" ? CUSB::IoErrorText(0.0) : p.dir.Ui().Boxes()[0].text);
        EXPECT_EQ(at, std::vector<std::string>(p.dir.Ui().BoxCount(), last));
        p.dir.Ui().Clear();
        at.clear();
    }
    p.dir.Ui().OnBox(nullptr);
    const std::string log = p.dir.File("cut.zne");
    p.dir.Ui().PushFileAnswer(log);
    p.dlg->SendCommand(Dlg::ID_FILE_NEW);
    ASSERT_TRUE(WaitFor([&] { return p.Written() >= 3; }, 15000));

    sim.Unplug();
    ASSERT_TRUE(WaitFor([&] { return !s.m_bReceiveRunning.load(); }, 5000));
    const int written = p.Written();
    // The operator leaves before the link watch gives the logger up: no frames
    // arrive, so no question; the log still open is stopped on the way out.
    ASSERT_TRUE(p.dlg->ConfirmExit());
    EXPECT_EQ(p.dir.Ui().BoxCount(), 0u);
    EXPECT_FALSE(s.SnapshotSession().Recording);

    bool whole = false;
    const auto recs = ReadRecords(log, &whole);
    EXPECT_TRUE(whole);
    EXPECT_EQ(static_cast<int>(recs.size()), written);
    CIni hed(p.dir.File("cut.hed"), "WellInfo", TRUE);
    EXPECT_EQ(hed.GetInt("EndTime", -1), static_cast<int>(recs.back().elapsedMs));
}

TEST(Flow, AlarmBoxAndStatusBarTexts) {
    Program p("no-such-driver");  // no link writing into the status bar meanwhile

    // The box shows code 0 until told otherwise; unknown codes change nothing.
    CAlertDlg* box = p.dlg->AlertBox();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(box->GetWindowText(), "Invalid Depth !!!");
    EXPECT_EQ(box->Message(), "Encoder Error");

    // From the receive thread: posted, never waited for.
    std::thread worker([&] {
        p.dlg->ShowAlert(1);
        p.dlg->StatusBarText(0, "Data file : x.zne");
        p.dlg->StatusBarText(5, "not a text part");
    });
    worker.join();
    ASSERT_TRUE(WaitFor([&] { return box->isVisible(); }, 2000));
    EXPECT_EQ(box->GetWindowText(), "Low Battery.");
    EXPECT_EQ(box->Message(), "Low battery / Power Failure !!!");
    EXPECT_EQ(box->MessageStatic()->GetTextColor(), CAlertDlg::kTextColor);
    box->SetAlarm(3);
    EXPECT_EQ(box->GetWindowText(), "Low Battery.");
    box->SendCommand(IDOK);
    EXPECT_FALSE(box->isVisible());

    EXPECT_TRUE(WaitFor([&] { return p.dlg->StatusBar()->GetText(0) == "Data file : x.zne"; }, 2000));
    EXPECT_EQ(p.dlg->StatusBar()->GetText(5), "");

    // A lost link with the sonde marked on presses the power button: off.
    p.power->SetDlgItemText(CPowerDlg::IDC_STATUS, "");
    std::thread linkWatch([&] { p.dlg->PowerOffLostLink(); });
    linkWatch.join();
    EXPECT_TRUE(WaitFor([&] { return p.power->GetDlgItemText(CPowerDlg::IDC_STATUS) == "Sonde not powered"; }, 2000));
    EXPECT_FALSE(p.Shared().m_bSondePowered.load());
}

TEST(Flow, OpenAndNewLogCheckTheirFiles) {
    Program p("no-such-driver");
    auto& ui = p.dir.Ui();
    auto copy = [&](const std::string& from, const std::string& to) {
        ASSERT_TRUE(QFile::copy(QString::fromStdString(p.dir.File(from)), QString::fromStdString(p.dir.File(to))));
    };
    copy("Demo/ZNS_IT_UP.zne", "a.ZNE");
    copy("Demo/ZNS_IT_UP.hed", "a.HED");
    copy("Demo/ZNS_IT_UP.zne", "b.zne");

    // Extensions in capitals are found.
    const size_t boxes = ui.BoxCount();  // "USB driver not installed."
    ASSERT_TRUE(p.Open(p.dir.File("a.ZNE")));
    EXPECT_EQ(zns::FixedFieldText(p.app.Settings().files.szLastFile), p.dir.File("a.HED"));
    EXPECT_EQ(ui.BoxCount(), boxes);

    // Without its header, or without the file: told, the loaded log stays.
    ui.PushFileAnswer(p.dir.File("b.zne"));
    p.dlg->SendCommand(Dlg::ID_FILE_OPEN);
    EXPECT_EQ(ui.LastBox().text, "I not find header file : b.hed !!!");
    ui.PushFileAnswer(p.dir.File("c.zne"));
    p.dlg->SendCommand(Dlg::ID_FILE_OPEN);
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgNoDataFile);
    EXPECT_EQ(zns::FixedFieldText(p.app.Settings().files.szDataFile), p.dir.File("a.ZNE"));
    EXPECT_TRUE(p.Shared().SnapshotSession().ReplayLoaded);

    // A new log on an existing name: No keeps both files, Yes removes both.
    copy("Demo/ZNS_IT_UP.zne", "run.zne");
    copy("Demo/ZNS_IT_UP.hed", "run.hed");
    ui.PushFileAnswer(p.dir.File("run.zne"));
    ui.PushAnswer(IDNO);
    EXPECT_FALSE(p.dlg->OnFileNew());
    EXPECT_EQ(ui.LastBox().text, Dlg::kMsgReplaceLog);
    EXPECT_EQ(ui.LastBox().DefaultAnswer(), IDNO);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(p.dir.File("run.hed"))));
    ui.PushFileAnswer(p.dir.File("run.zne"));
    ui.PushAnswer(IDYES);
    EXPECT_TRUE(p.dlg->OnFileNew());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p.dir.File("run.zne"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p.dir.File("run.hed"))));
    const FilePaths& fp = p.app.Settings().files;
    EXPECT_EQ(zns::FixedFieldText(fp.szDataFile), p.dir.File("run.zne"));
    EXPECT_EQ(zns::FixedFieldText(fp.szLastFile), p.dir.File("run.hed"));
    EXPECT_EQ(zns::FixedFieldText(fp.szFileName), "run.zne");
}

}  // namespace
