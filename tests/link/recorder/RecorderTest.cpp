// Recording a log from the simulated logger, its header keys, and a recording
// cut short by a lost link.
#include <gtest/gtest.h>

#include "Harness.h"
#include "platform/FileReplace.h"
#include "settings/Ini.h"
#include "settings/SaveReport.h"

using namespace rectest;

namespace {

int HeaderInt(const std::string& path, const char* section, const char* key) {
    CIni ini(path, section, TRUE);
    return ini.GetInt(key, -99999);
}
std::string HeaderText(const std::string& path, const char* section, const char* key) {
    CIni ini(path, section, TRUE);
    return ini.GetString(key, "?");
}

class RecorderUnitTest : public ::testing::Test {
protected:
    RecorderUnitTest() : recorder(shared, settings, header, writer, clock, Hooks()) {
        zns::SetFixedField(settings.files.szDataFile, folder / "run1.zne");
        zns::SetFixedField(settings.files.szLastFile, folder / "run1.hed");
        shared.m_nLinkState.store(LINK_STATUS);
        shared.settings.RecordingMode = RECMODE_TIME;
        shared.settings.TimeInterval = 500;
        shared.settings.DepthInterval = 5;
    }
    RecorderHooks Hooks() {
        RecorderHooks h;
        h.statusText = [this](int part, const std::string& t) { status[part] = t; };
        h.resetAcquisition = [this](bool reload) {
            ++resets;
            // Record start resets the displays while the start is still marked.
            startingSeenAtReset = shared.SnapshotSession().StartingRecord;
        };
        return h;
    }
    void SetSession(uint8_t SessionState::*field, uint8_t v) {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.*field = v;
    }

    TempFolder folder;
    zns::FakeClock clock{5000};
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    std::map<int, std::string> status;
    int resets = 0;
    int startingSeenAtReset = -1;
    CRecorder recorder;
};

TEST_F(RecorderUnitTest, NothingStartsWithoutPowerOrTwice) {
    shared.m_pRecordCount.store(77);
    EXPECT_EQ(recorder.StartRecordFile(false), CRecorder::StartResult::NotPowered);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(shared.SnapshotSession().Recording, 0);
    EXPECT_EQ(shared.m_pRecordCount.load(), 0);
    EXPECT_TRUE(status.empty());

    SetSession(&SessionState::Recording, 1);
    SetSession(&SessionState::StartingRecord, 1);
    EXPECT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::AlreadyRecording);
    EXPECT_EQ(shared.SnapshotSession().StartingRecord, 0);
    EXPECT_FALSE(writer.IsOpen());
}

TEST_F(RecorderUnitTest, DataFileThatCannotBeOpenedStartsNothing) {
    zns::SetFixedField(settings.files.szDataFile, folder / "missing/run1.zne");
    EXPECT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::OpenFailed);
    EXPECT_EQ(shared.SnapshotSession().Recording, 0);
    EXPECT_FALSE(shared.g_bFirstRecordPending.load());
    EXPECT_STREQ(CRecorder::kMsgTroubleOpeningFile, "Trouble opening file.");
}

TEST_F(RecorderUnitTest, StartAndCloseWriteTheirHeaderKeys) {
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.logger.LiveDepth = -12.3456;
        shared.settings.AGC_Rx2 = 1;
    }
    shared.m_nStatusOneFrames.store(9);
    shared.m_nOtherFrames.store(4);
    SetSession(&SessionState::Running, 1);
    ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);

    const SessionState s = shared.SnapshotSession();
    EXPECT_EQ(s.Recording, 1);
    EXPECT_EQ(s.StartingRecord, 0);
    EXPECT_EQ(s.NewLogSet, 1);
    EXPECT_EQ(s.Running, 0);
    EXPECT_EQ(startingSeenAtReset, 1);
    EXPECT_EQ(resets, 1);
    EXPECT_TRUE(writer.IsOpen());
    EXPECT_TRUE(shared.g_bFirstRecordPending.load());
    EXPECT_EQ(shared.m_ftLastRecordMs.load(), 5000);
    EXPECT_EQ(shared.m_nStatusOneFrames.load(), 0);
    EXPECT_EQ(shared.m_nOtherFrames.load(), 0);
    EXPECT_EQ(status[0], "Data file : run1.zne");
    EXPECT_DOUBLE_EQ(shared.g_dLastDepth.load(), -12.3456);
    EXPECT_DOUBLE_EQ(shared.g_dLastDepth2.load(), -12.3456);
    EXPECT_EQ(header.step, 500);
    const std::string hed = folder / "run1.hed";
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "Startdepth"), -12345);  // truncated toward zero
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "StartTime"), 0);
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "step"), 500);

    shared.g_dLastDepth2.store(15.5009);
    shared.m_pRecordCount.store(4321);
    EXPECT_TRUE(recorder.CloseRecordFile());
    EXPECT_EQ(shared.SnapshotSession().Recording, 0);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "EndDepth"), 15500);
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "EndTime"), 4321);
    EXPECT_EQ(HeaderText(hed, "General", "Rx1_AGC"), "no");
    EXPECT_EQ(HeaderText(hed, "General", "Rx2_AGC"), "yes");
    EXPECT_EQ(HeaderText(hed, "General", "Rx3_AGC"), "no");
    EXPECT_FALSE(recorder.CloseRecordFile());  // once
}

TEST_F(RecorderUnitTest, DepthStepIsTheDepthIntervalInDepthModes) {
    shared.settings.RecordingMode = RECMODE_DOWN;
    ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);
    EXPECT_EQ(header.step, 5);
    EXPECT_EQ(HeaderInt(folder / "run1.hed", "WellInfo", "step"), 5);
}

TEST_F(RecorderUnitTest, EndDepthIsWrittenWhenItChangesAtMostOnceASecondAndAtStop) {
    ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);
    const std::string hed = folder / "run1.hed";
    for (int i = 0; i < 5; ++i) recorder.UpdateEndDepth(10.0);
    recorder.UpdateEndDepth(10.0004);  // the same millimetre
    EXPECT_EQ(recorder.EndDepthWrites(), 1);
    writer.HeaderKeys().Flush();
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "EndDepth"), 10000);
    // Moving on every 100 ms display tick: one write in the next second.
    for (int i = 0; i < 10; ++i) {
        clock.Advance(100);
        recorder.UpdateEndDepth(10.002 + i * 0.01);
    }
    EXPECT_EQ(recorder.EndDepthWrites(), 2);
    writer.HeaderKeys().Flush();
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "EndDepth"), 10092);

    clock.Advance(1000);
    SetSession(&SessionState::StartingRecord, 1);  // not while a record starts
    recorder.UpdateEndDepth(11.0);
    EXPECT_EQ(recorder.EndDepthWrites(), 2);
    SetSession(&SessionState::StartingRecord, 0);

    shared.g_dLastDepth2.store(10.5);
    recorder.CloseRecordFile();
    recorder.UpdateEndDepth(12.0);  // nor after the log ends
    writer.HeaderKeys().Flush();
    EXPECT_EQ(HeaderInt(hed, "WellInfo", "EndDepth"), 10500);

    // Keys the disk refuses while a log runs are told once, from the writer's
    // thread; at Stop the words that repair the header by hand all the same.
    static std::vector<std::string> told;
    for (const bool closes : {false, true}) {
        told.clear();
        zns::SetSaveFailureHandler([](const std::string&, const std::string& t, bool) { told.push_back(t); });
        ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);
        zns::detail::SetSyncHook([](int) { return errno = ENOSPC, -1; });
        for (int i = 0; i < 3; ++i) clock.Advance(1000), recorder.UpdateEndDepth(13.0 + i), writer.HeaderKeys().Flush();
        if (closes) zns::detail::SetSyncHook(nullptr);
        recorder.CloseRecordFile();
        zns::detail::SetSyncHook(nullptr);
        ASSERT_EQ(told.size(), 2u);
        EXPECT_EQ(told[0], zns::SaveFailureText(hed, ENOSPC));
        // Or, the end keys written whole after all, that the header was closed.
        EXPECT_NE(told[1].find(closes ? " was closed: it holds EndDepth=" : " could not be closed"), std::string::npos);
    }
    zns::SetSaveFailureHandler(nullptr);
}

// ---------------------------------------------------------------------------

class RecordingTest : public ::testing::Test {
protected:
    // Link up, sonde powered, recording as "&New log." starts it.
    void StartLog() {
        rig.LinkUp();
        rig.power.OnBnClickedPower();
        ASSERT_TRUE(rig.RunUntil([&] { return !rig.power.Adjusting(); }, 20000));
        ASSERT_TRUE(rig.power.Powered());
        {
            std::lock_guard<std::mutex> g(rig.shared.acqMutex);
            rig.shared.session.NewLogSet = 1;
        }
        ASSERT_EQ(rig.recorder.StartRecordFile(rig.power.Powered()), CRecorder::StartResult::Started);
    }
    std::string DataPath() { return rig.folder / "log.zne"; }
    std::string HeaderPath() { return rig.folder / "log.hed"; }

    Rig rig;
};

TEST_F(RecordingTest, LogRecordedWhileTheWinchMovesKeepsEveryRecord) {
    StartLog();
    rig.sim.SetWinchDirection(true);
    rig.sim.SetWinchSpeed(6.0);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.RecordsWritten() >= 300; }, 400000));
    rig.Run(3000);
    ASSERT_TRUE(rig.recorder.CloseRecordFile());
    const int written = rig.RecordsWritten();
    rig.Run(2000);  // frames keep coming: nothing more is written
    EXPECT_EQ(rig.RecordsWritten(), written);
    EXPECT_TRUE(rig.report.failures.empty());

    zns::RecordStatus end{};
    const auto recs = ReadAllRecords(DataPath(), &end);
    EXPECT_EQ(end, zns::RecordStatus::EndOfFile);
    ASSERT_EQ(static_cast<int>(recs.size()), written);
    for (size_t i = 1; i < recs.size(); ++i) {
        EXPECT_GT(recs[i].depthMm, recs[i - 1].depthMm) << i;  // going down
        EXPECT_GE(recs[i].elapsedMs, recs[i - 1].elapsedMs) << i;
        EXPECT_EQ(recs[i].traceByte, 0x05) << i;
    }
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "Startdepth"), recs.front().depthMm);
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "EndDepth"), recs.back().depthMm);
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "EndTime"), static_cast<int>(recs.back().elapsedMs));
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "step"), 500);
    // While the log ran, "EndDepth" followed the depth without a write per tick
    // when the depth stood still.
    EXPECT_GT(rig.recorder.EndDepthWrites(), 0);
}

TEST_F(RecordingTest, EndDepthIsNotRewrittenWhileTheSondeStands) {
    StartLog();
    rig.Run(5000);  // 50 display ticks, winch stopped
    EXPECT_EQ(rig.recorder.EndDepthWrites(), 1);
    rig.sim.SetWinchSpeed(3.0);
    rig.Run(2000);  // moving: once a second
    EXPECT_GE(rig.recorder.EndDepthWrites(), 2);
    EXPECT_LE(rig.recorder.EndDepthWrites(), 3);
}

TEST_F(RecordingTest, RecordingCutByALostLinkKeepsEveryRecordWrittenBeforeIt) {
    StartLog();
    rig.sim.SetWinchSpeed(6.0);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.RecordsWritten() >= 120; }, 200000));
    rig.Run(137);  // somewhere between two frames, or inside one
    rig.sim.Unplug();
    // The link watch notices and, the link gone, presses the power button.
    rig.shared.m_bLinkUp.store(false);
    rig.shared.m_nLinkState.store(LINK_IDLE);
    rig.Run(2000);
    const int written = rig.RecordsWritten();
    rig.power.OnBnClickedPower();
    EXPECT_FALSE(rig.power.Powered());
    EXPECT_EQ(rig.shared.SnapshotSession().Recording, 0);
    EXPECT_FALSE(rig.writer.IsOpen());

    zns::RecordStatus end{};
    const auto recs = ReadAllRecords(DataPath(), &end);
    EXPECT_EQ(end, zns::RecordStatus::EndOfFile);
    EXPECT_EQ(static_cast<int>(recs.size()), written);
    EXPECT_EQ(std::filesystem::file_size(DataPath()), static_cast<uintmax_t>(written) * zns::RecordSize(0x05));
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "EndDepth"), recs.back().depthMm);
    EXPECT_EQ(HeaderInt(HeaderPath(), "WellInfo", "EndTime"), static_cast<int>(recs.back().elapsedMs));
}

}  // namespace
