// The power, record and replay panel: its buttons, pictures, status line and
// counters, and the replay it drives through its player thread.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPushButton>
#include <QSlider>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "settings/Header.h"
#include "settings/Ini.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/controls/GraphicCounterCtrl.h"
#include "ui/dialogs/PowerDlg.h"

using zns::ui::ScriptedUiService;

namespace {

class Folder {
public:
    Folder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zns_powerdlg_XXXXXX").string();
        if (mkdtemp(tmpl.data())) m_path = tmpl;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& n) const { return m_path + "/" + n; }

private:
    std::string m_path;
};

template <class F>
bool PumpUntil(F done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        zns::ui::PumpEvents(2);
    }
    return true;
}

class PowerDlgTest : public ::testing::Test {
protected:
    PowerDlgTest()
        : writer([this](int fd, const void* d, size_t n) -> ssize_t {
              if (failWrites) {
                  errno = ENOSPC;
                  return -1;
              }
              return ::write(fd, d, n);
          }),
          stream(shared, header, writer, Sources()),
          dlg(shared, settings, header, stream, writer, nullptr, Hooks(), &confirmed) {
        zns::ui::SetAppTitle("ZNS Acquisition software");
        settings.sondeDb.SerialNumber = 42;
        settings.sondeDb.RX_Number = 3;
        zns::SetFixedField(settings.files.szDataFile, folder / "a.zne");
        zns::SetFixedField(settings.files.szLastFile, folder / "a.hed");
        zns::SetFixedField(settings.files.szFileName, "a.zne");
        dlg.Create();
    }
    ~PowerDlgTest() override { dlg.StopPlayerThread(); }

    ToolsStreamSources Sources() {
        ToolsStreamSources s;
        s.dataFilePath = [this] { return zns::FixedFieldText(settings.files.szDataFile); };
        return s;
    }
    PowerDlgHooks Hooks() {
        PowerDlgHooks h;
        h.resetAcquisition = [this](bool) { ++resets; };
        h.endAutoPrint = [this] { ++autoPrintEnds; };
        h.statusBarText = [this](int part, const std::string& t) { statusBar[part] = t; };
        h.mainCommand = [this](unsigned id) { mainCommands.push_back(id); };
        h.postMainCommand = [this](unsigned id) { posted.push_back(id); };
        h.sendDepthPanelCommand = [this](unsigned id) { depthCommands.push_back(id); };
        h.postAcquisitionPage = [this](unsigned id) { pagePosted.push_back(id); };
        h.enableMenuItem = [this](unsigned id, bool on) { menu[id] = on; };
        h.onReplayFrame = [this] {
            std::lock_guard<std::mutex> g(replayMutex);
            replayed.push_back(shared.SnapshotLogger().ReplayDepth);
        };
        h.sendCommand = [this](int code) {
            sent.push_back(code);
            return true;
        };
        return h;
    }
    bool Enabled(int id) { return dlg.GetDlgItem(id)->isEnabled(); }
    uint8_t Session(uint8_t SessionState::*f) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        return shared.session.*f;
    }
    void SetSession(uint8_t SessionState::*f, uint8_t v) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.*f = v;
    }
    std::vector<double> Replayed() {
        std::lock_guard<std::mutex> g(replayMutex);
        return replayed;
    }
    // A replay file of `count` records at 1.000, 1.001 ... m, loaded as "&Open" loads it.
    void LoadReplayFile(int count) {
        zns::DataFileWriter w;
        ASSERT_TRUE(w.Open(folder / "a.zne", ""));
        for (int i = 0; i < count; ++i) {
            auto r = std::make_unique<zns::DataFileRecord>();
            r->depthMm = 1000 + i;
            r->elapsedMs = static_cast<uint32_t>(i) * 1000u;
            r->traceByte = 0x01;
            uint8_t buf[zns::kRecordMaxBytes];
            ASSERT_TRUE(w.Append(buf, zns::EncodeRecord(*r, buf)));
        }
        w.Close();
        header.LogMode = HEADER_LOG_TIME;
        header.step = 500;
        header.RXNumber = 1;
        SetSession(&SessionState::ReplayLoaded, 1);
        stream.m_posReplay.store(0);
        dlg.SetPlayerButtons();
    }
    void PowerOnPanel() {
        shared.m_nLinkState.store(LINK_STATUS);
        dlg.OnBnClickedPower();
        ASSERT_TRUE(dlg.Power().Powered());
        dlg.KillTimer(ID_TIMER_POWER_GUARD);
    }

    ScriptedUiService fake;
    zns::ui::ScopedService use{fake};
    Folder folder;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    bool failWrites = false;
    zns::DataFileWriter writer;
    CToolsStream stream;
    std::atomic<bool> confirmed{false};

    int resets = 0;
    int autoPrintEnds = 0;
    std::map<int, std::string> statusBar;
    std::vector<unsigned> mainCommands, posted, depthCommands, pagePosted;
    std::map<unsigned, bool> menu;
    std::vector<int> sent;
    std::mutex replayMutex;
    std::vector<double> replayed;

    CPowerDlg dlg;
};

TEST_F(PowerDlgTest, StartsWithItsTitleTipsAndDisplayTimer) {
    EXPECT_EQ(dlg.GetDlgItemText(CPowerDlg::IDC_TITLE), "Probe Control");
    EXPECT_EQ(dlg.GetDlgItem(CPowerDlg::IDC_POWER)->toolTip().toStdString(), "Sonde power On/Off.");
    EXPECT_EQ(dlg.GetDlgItem(CPowerDlg::IDC_PLAY)->toolTip().toStdString(), "Play file.");
    EXPECT_EQ(dlg.GetDlgItem(CPowerDlg::IDC_PAUSE)->toolTip().toStdString(), "Player or recorder pause.");
    EXPECT_EQ(dlg.GetDlgItem(CPowerDlg::IDC_SPEED)->toolTip().toStdString(),
              "Player speed variator (depending of your sytem performance).");
    auto* slider = dlg.GetDlgItem<QSlider>(CPowerDlg::IDC_SPEED);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 50);
    EXPECT_EQ(slider->value(), 25);
    EXPECT_TRUE(slider->isHidden());
    EXPECT_TRUE(dlg.Counter(CPowerDlg::IDC_TIME_COUNTER)->isHidden());
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_DISPLAY));
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_POWER), IDI_POWER_OFF);
    EXPECT_TRUE(dlg.GetDlgItem<QPushButton>(CPowerDlg::IDC_POWER)->text().isEmpty());  // its picture only
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_SCOPE2), IDI_SCOPE2);
    // No file loaded: the recorder's buttons; Rewind has nothing to rewind.
    for (int id : {CPowerDlg::IDC_PLAY, CPowerDlg::IDC_PAUSE, CPowerDlg::IDC_REWIND, CPowerDlg::IDC_STOP})
        EXPECT_FALSE(Enabled(id)) << id;
    dlg.OnBnClickedRewind();
    EXPECT_FALSE(dlg.IsPaused());
    EXPECT_FALSE(dlg.Player().ThreadRunning());
    // The scope buttons ask the main window.
    dlg.SendCommand(CPowerDlg::IDC_SCOPE1);
    dlg.SendCommand(CPowerDlg::IDC_SCOPE2);
    dlg.SendCommand(CPowerDlg::IDC_SCOPE3);
    dlg.SendCommand(CPowerDlg::IDC_TOOLS);
    EXPECT_EQ(mainCommands, (std::vector<unsigned>{32772, 32774, 32773, 133}));
}

TEST_F(PowerDlgTest, PowerButtonSwitchesOnThenOff) {
    shared.m_nLinkState.store(LINK_STATUS);
    dlg.OnBnClickedPower();
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_POWER), IDI_POWER_ON);
    EXPECT_EQ(dlg.StatusLine()->text().toStdString(), "Probe powered");
    EXPECT_EQ(dlg.StatusLine()->GetTextColor(), 0x000000u);
    dlg.ShowStatus();  // the next frame status waits for the text's hold
    EXPECT_EQ(dlg.StatusLine()->text().toStdString(), "Probe powered");
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_STATUS_HOLD));
    EXPECT_TRUE(shared.m_bSondePowered.load());
    EXPECT_EQ(statusBar[0], "Acquisition Mode.");
    EXPECT_EQ(posted.back(), 1749u);
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_DOWNLOAD));
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_POWER_GUARD));
    EXPECT_EQ(autoPrintEnds, 0);  // the Stop of a power press leaves auto print alone

    dlg.OnBnClickedPower();  // within the guard
    EXPECT_EQ(fake.Beeps().size(), 1u);
    EXPECT_EQ(fake.Beeps()[0].frequency, 255u);
    EXPECT_TRUE(dlg.Power().Powered());

    dlg.KillTimer(ID_TIMER_POWER_GUARD);
    dlg.OnBnClickedPower();
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_POWER), IDI_POWER_OFF);
    EXPECT_EQ(dlg.StatusLine()->text().toStdString(), "Sonde not powered");
    dlg.ShowStatus();
    EXPECT_EQ(dlg.StatusLine()->text().toStdString(), "Sonde not powered");
    dlg.OnTimer(ID_TIMER_STATUS_HOLD);  // held for its time, then the frame status again
    dlg.ShowStatus();
    EXPECT_NE(dlg.StatusLine()->text().toStdString(), "Sonde not powered");
    EXPECT_FALSE(shared.m_bSondePowered.load());
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_POWER_DOWN));
    EXPECT_FALSE(dlg.IsTimerSet(ID_TIMER_DOWNLOAD));
    EXPECT_EQ(autoPrintEnds, 1);
}

TEST_F(PowerDlgTest, LostLinkPressFromAWorkerSwitchesOff) {
    PowerOnPanel();
    shared.m_nLinkState.store(LINK_IDLE);
    std::thread([this] { dlg.PostPowerOff(); }).join();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Power().Powered(); }));
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_POWER_DOWN));
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_POWER), IDI_POWER_OFF);
}

TEST_F(PowerDlgTest, StatusLineColoursFollowTheFrameStatus) {
    shared.m_bLinkUp.store(true);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.FrameStatus = 0x08;
    }
    dlg.ShowStatus();
    EXPECT_EQ(dlg.StatusLine()->text().toStdString(), "CheckSum Error");
    EXPECT_EQ(dlg.StatusLine()->GetTextColor(), 0xFFFFFFu);
    EXPECT_EQ(dlg.StatusLine()->GetBkColor(), 0x0000FFu);

    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.FrameStatus = 0x01;
    }
    // From the receive thread: posted to the GUI thread.
    std::thread([this] { dlg.ShowStatus(); }).join();
    ASSERT_TRUE(PumpUntil([&] { return dlg.StatusLine()->text().toStdString() == "Status OK"; }));
    EXPECT_EQ(dlg.StatusLine()->GetTextColor(), 0xFF0000u);
    EXPECT_NE(dlg.StatusLine()->GetBkColor(), 0x0000FFu);
}

TEST_F(PowerDlgTest, SupplyCountersBlinkAtTheirAlarms) {
    dlg.show();  // the counters keep no text while hidden
    zns::ui::PumpEvents();
    shared.m_nLinkState.store(LINK_STATUS);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.live.Value1 = 106;
        shared.live.Value1Text = "106";
        shared.live.Value2 = 120;
        shared.live.Value2Text = "120";
    }
    dlg.UpdateCounters();
    EXPECT_TRUE(dlg.Counter(CPowerDlg::IDC_VOLTAGE)->IsBlinkOn());
    EXPECT_FALSE(dlg.Counter(CPowerDlg::IDC_CURRENT)->IsBlinkOn());
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.live.Value1 = 105;
    }
    dlg.UpdateCounters();
    EXPECT_FALSE(dlg.Counter(CPowerDlg::IDC_VOLTAGE)->IsBlinkOn());
    EXPECT_EQ(dlg.Counter(CPowerDlg::IDC_VOLTAGE)->GetText(), "106");
    // Below link state 3 there is no supply to show.
    shared.m_nLinkState.store(2);
    dlg.UpdateCounters();
    EXPECT_EQ(dlg.Counter(CPowerDlg::IDC_VOLTAGE)->GetText(), "");
    EXPECT_EQ(dlg.Counter(CPowerDlg::IDC_CURRENT)->GetText(), "");
    shared.m_nLinkState.store(3);
    dlg.UpdateCounters();
    EXPECT_EQ(dlg.Counter(CPowerDlg::IDC_CURRENT)->GetText(), "120");
}

TEST_F(PowerDlgTest, DisplayTickEnablesControlsAndMenus) {
    shared.m_nLinkState.store(2);
    settings.sondeDb.RX_Number = 1;
    dlg.OnTimer(ID_TIMER_DISPLAY);
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_POWER));
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_SCOPE1));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_SCOPE2));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_SCOPE3));
    EXPECT_TRUE(menu[32772]);
    EXPECT_FALSE(menu[32774]);
    EXPECT_FALSE(menu[32773]);
    EXPECT_FALSE(menu[101]);
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_RECORD));
    EXPECT_TRUE(dlg.IsTimerSet(ID_TIMER_DISPLAY));

    shared.m_nLinkState.store(LINK_STATUS);
    settings.sondeDb.RX_Number = 3;
    dlg.OnTimer(ID_TIMER_DISPLAY);
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_POWER));
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_SCOPE3));
    EXPECT_TRUE(menu[101]);
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_RECORD));
    EXPECT_TRUE(menu[100]);  // "&Open" while not powered
}

TEST_F(PowerDlgTest, RecordingWithoutPowerTellsTheOperator) {
    dlg.StartRecordFile();
    ASSERT_EQ(fake.BoxCount(), 1u);
    EXPECT_EQ(fake.LastBox().text, "Sonde must be switched On before recording.");
    EXPECT_EQ(fake.LastBox().Icon(), MB_ICONSTOP);
    EXPECT_EQ(Session(&SessionState::Recording), 0);
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_STOP));
    EXPECT_FALSE(writer.IsOpen());
}

TEST_F(PowerDlgTest, PauseEndsTheRecordingAndWritesTheEndKeys) {
    PowerOnPanel();
    SetSession(&SessionState::NewLogSet, 1);
    dlg.StartRecordFile();
    ASSERT_EQ(Session(&SessionState::Recording), 1);
    EXPECT_EQ(statusBar[0], "Data file : a.zne");
    EXPECT_EQ(fake.BoxCount(), 0u);

    // The display tick shows the time counter and keeps "EndDepth" up to date.
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.LiveDepth = 12.5;
    }
    dlg.OnTimer(ID_TIMER_DISPLAY);
    EXPECT_FALSE(dlg.Counter(CPowerDlg::IDC_TIME_COUNTER)->isHidden());
    writer.HeaderKeys().Flush();
    EXPECT_EQ(CIni(folder / "a.hed", "WellInfo", TRUE).GetInt("EndDepth", -1), 12500);
    EXPECT_FALSE(menu[32777]);  // no SEG-2 while recording

    dlg.OnBnClickedRecord();  // while recording: nothing
    EXPECT_TRUE(mainCommands.empty());

    shared.g_dLastDepth2.store(13.25);
    dlg.OnBnClickedPause();
    EXPECT_EQ(Session(&SessionState::Recording), 0);
    EXPECT_TRUE(dlg.IsPaused());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(dlg.ButtonIcon(CPowerDlg::IDC_RECORD), IDI_RECORD);
    EXPECT_EQ(CIni(folder / "a.hed", "WellInfo", TRUE).GetInt("EndDepth", -1), 13250);

    dlg.OnBnClickedRecord();  // a new Record starts a new log
    EXPECT_EQ(mainCommands, std::vector<unsigned>{101});
}

TEST_F(PowerDlgTest, AWriteFailureStopsTheRecordingAndSaysWhy) {
    PowerOnPanel();
    dlg.StartRecordFile();
    ASSERT_EQ(Session(&SessionState::Recording), 1);
    EXPECT_EQ(stream.WriteDataFile(1.0), CToolsStream::WriteResult::Armed);
    EXPECT_EQ(stream.WriteDataFile(1.1), CToolsStream::WriteResult::Written);
    failWrites = true;
    ASSERT_EQ(stream.WriteDataFile(1.2), CToolsStream::WriteResult::Failed);
    std::thread([this] { dlg.OnRecordWriteFailed(); }).join();
    ASSERT_TRUE(PumpUntil([&] { return fake.BoxCount() == 1; }));
    EXPECT_NE(fake.LastBox().text.find("Trouble writing the data file"), std::string::npos);
    EXPECT_EQ(Session(&SessionState::Recording), 0);
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_STOP));  // as after Stop: nothing left to stop
    EXPECT_EQ(std::filesystem::file_size(folder / "a.zne"), zns::RecordSize(0));
}

TEST_F(PowerDlgTest, ReplayPlaysPausesRewindsAndStops) {
    LoadReplayFile(300);
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_PLAY));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_PAUSE));
    EXPECT_FALSE(dlg.GetDlgItem(CPowerDlg::IDC_SPEED)->isHidden());
    EXPECT_TRUE(dlg.GetDlgItem(CPowerDlg::IDC_POWER)->isHidden());
    dlg.GetDlgItem<QSlider>(CPowerDlg::IDC_SPEED)->setValue(50);  // 5 ms a record

    dlg.OnBnClickedPlay();
    EXPECT_EQ(statusBar[0], "Fichier de donn\xE9" "e : a.zne");
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_PAUSE));
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_STOP));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_RECORD));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_REWIND));
    ASSERT_TRUE(PumpUntil([&] { return Replayed().size() >= 10; }));
    dlg.OnTimer(ID_TIMER_DISPLAY);
    EXPECT_FALSE(dlg.Counter(CPowerDlg::IDC_TIME_COUNTER)->isHidden());
    EXPECT_EQ(dlg.Counter(CPowerDlg::IDC_TIME_COUNTER)->TextColor(), CPowerDlg::kReplayCounterColour);

    // Quick Pause / Play: never two player threads, no record twice or left out.
    for (int i = 0; i < 25; ++i) {
        dlg.OnBnClickedPause();
        EXPECT_TRUE(Enabled(CPowerDlg::IDC_REWIND));
        EXPECT_EQ(Session(&SessionState::Paused), 1);
        dlg.OnBnClickedPlay();
        if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    dlg.OnBnClickedPause();
    dlg.StopPlayerThread();
    EXPECT_EQ(dlg.Player().MaxConcurrentThreads(), 1);
    const auto shown = Replayed();
    ASSERT_FALSE(shown.empty());
    for (size_t i = 0; i < shown.size(); ++i) ASSERT_NEAR(shown[i], 1.0 + 0.001 * static_cast<double>(i), 1e-9) << i;

    // Rewind: paused at the first record, Rewind disabled, the time counter from zero.
    EXPECT_NE(shared.SnapshotLive().TimeText, "00:00:00");
    dlg.OnBnClickedRewind();
    dlg.StopPlayerThread();
    EXPECT_EQ(shared.SnapshotLive().TimeText, "00:00:00");
    EXPECT_EQ(stream.m_posReplay.load(), 0);
    EXPECT_TRUE(dlg.IsPaused());
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_REWIND));
    EXPECT_EQ(Session(&SessionState::Running), 0);

    // Stop unloads the file: Play stays disabled until a file is opened again.
    dlg.OnBnClickedStop();
    EXPECT_EQ(Session(&SessionState::ReplayLoaded), 0);
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_PLAY));
    EXPECT_FALSE(Enabled(CPowerDlg::IDC_STOP));
    EXPECT_FALSE(dlg.GetDlgItem(CPowerDlg::IDC_POWER)->isHidden());
    EXPECT_EQ(statusBar[0], "Mode acquisition.");
    EXPECT_EQ(depthCommands, std::vector<unsigned>{1745});
    EXPECT_EQ(pagePosted, std::vector<unsigned>{1749});
    EXPECT_EQ(posted.back(), 1749u);
    const size_t before = Replayed().size();
    dlg.OnBnClickedPlay();  // nothing loaded
    EXPECT_FALSE(dlg.Player().ThreadRunning());
    EXPECT_EQ(Replayed().size(), before);
}

TEST_F(PowerDlgTest, ReplayRunsToTheEndAndStartsAgainFromTheFirstRecord) {
    LoadReplayFile(20);
    header.LogMode = HEADER_LOG_DOWN;
    header.step = 0;  // an edited header: still plays
    dlg.GetDlgItem<QSlider>(CPowerDlg::IDC_SPEED)->setValue(50);
    dlg.OnBnClickedPlay();
    ASSERT_TRUE(PumpUntil([&] { return Replayed().size() == 20 && Session(&SessionState::Running) == 0; }));
    // The end of the file leaves the file loaded, ready to play again.
    ASSERT_TRUE(PumpUntil([&] { return !Enabled(CPowerDlg::IDC_PAUSE); }));
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_STOP));  // the way back to acquisition, as while playing
    EXPECT_TRUE(Enabled(CPowerDlg::IDC_PLAY));
    EXPECT_EQ(autoPrintEnds, 1);  // its last page printed, as Stop would
    EXPECT_EQ(fake.BoxCount(), 0u);
    dlg.OnTimer(ID_TIMER_DISPLAY);
    EXPECT_TRUE(dlg.Counter(CPowerDlg::IDC_TIME_COUNTER)->isHidden());
    const int resetsBefore = resets;
    dlg.OnBnClickedPlay();  // from the start again, displays reset first
    EXPECT_EQ(resets, resetsBefore + 1);
    ASSERT_TRUE(PumpUntil([&] { return Replayed().size() == 40 && !Enabled(CPowerDlg::IDC_PAUSE); }));
    EXPECT_DOUBLE_EQ(Replayed()[20], 1.0);
    // A damaged record ends the run there too, and says so once: status line and box.
    const long at = 7 * static_cast<long>(zns::RecordSize(0x01));
    std::fstream(folder / "a.zne", std::ios::in | std::ios::out | std::ios::binary).seekp(at + 30).put('Z');
    dlg.OnBnClickedPlay();
    ASSERT_TRUE(PumpUntil([&] { return fake.BoxCount() == 1 && !Enabled(CPowerDlg::IDC_PAUSE); }));
    EXPECT_EQ(Replayed().size(), 47u);
    EXPECT_NE(fake.LastBox().text.find("damaged: the record at byte " + std::to_string(at)), std::string::npos);
    EXPECT_EQ(statusBar[0], fake.LastBox().text);
    std::fstream(folder / "a.zne", std::ios::in | std::ios::out | std::ios::binary).seekp(30).put('Z');
    dlg.OnBnClickedPlay();  // the first record damaged: nothing to replay, Stop leads back to acquisition
    ASSERT_TRUE(PumpUntil([&] { return fake.BoxCount() == 2 && !Enabled(CPowerDlg::IDC_PAUSE); }));
    EXPECT_NE(fake.LastBox().text.find("byte 0 has a wrong check sum. No record can be replayed."), std::string::npos);
    dlg.GetDlgItem<QPushButton>(CPowerDlg::IDC_STOP)->click();  // nothing while disabled
    EXPECT_FALSE(dlg.GetDlgItem(CPowerDlg::IDC_POWER)->isHidden());  // Stop leads back to acquisition
}

}  // namespace
