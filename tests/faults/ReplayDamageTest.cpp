// The replay player over a data file damaged mid-record: the player thread
// shows every whole record before the damage, stops there, and the damage is
// reported with its position.
#include "FaultSupport.h"
#include "link/Player.h"

using namespace faults;

TEST(ReplayDamageTest, ThePlayerStopsAtTheDamageAndSaysWhere) {
    TempDir dir;
    const std::string data = dir.File("log.zne");
    {
        LogRig rig;
        ASSERT_TRUE(rig.StartLog(data));
        ASSERT_TRUE(rig.RunUntil([&] { return ScanFile(data).records.size() >= 6; }));
        rig.StopLog();
    }
    const FileScan clean = ScanFile(data);
    ASSERT_EQ(clean.end, zns::RecordStatus::EndOfFile);
    size_t damagedAt = 0;
    for (size_t i = 0; i < 4; ++i) damagedAt += clean.records[i].size();
    Bytes b = ReadBytes(data);
    b.resize(damagedAt + clean.records[4].size() / 2);  // cut inside record 4
    WriteBytes(data, b);

    PacedClock clock;
    SharedData shared;
    HeaderRecord header;
    header.LogMode = HEADER_LOG_TIME;
    zns::DataFileWriter writer;
    std::mutex mu;
    std::vector<std::string> damage;
    std::vector<double> depths;
    ToolsStreamSources src;
    src.dataFilePath = [&] { return data; };
    CToolsStream ts(shared, header, writer, src, clock);
    PlayerHooks hooks;
    hooks.readRecord = [&](int64_t pos) {  // as the power panel reads for the player
        if (ts.ReadDataLineInFileZne(pos)) return true;
        std::lock_guard<std::mutex> g(mu);
        if (const std::string d = ts.ReplayDamage(pos); !d.empty()) damage.push_back(d);
        return false;
    };
    hooks.onRecord = [&] {
        std::lock_guard<std::mutex> g(mu);
        depths.push_back(shared.SnapshotLogger().ReplayDepth);
    };
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.settings.VScale = 100;
    }
    CPlayer player(shared, ts.m_posReplay, clock, hooks);
    player.SetSliderPos(CPlayer::kSliderMax);
    ASSERT_TRUE(player.StartPlayer(zns::PlayerFactor(header.step, header.LogMode)));
    ASSERT_TRUE(WaitUntil([&] { return !player.ThreadRunning() && shared.SnapshotSession().Running == 0; }));
    player.Join();

    std::lock_guard<std::mutex> g(mu);
    EXPECT_EQ(depths.size(), 4u);
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_NE(damage[0].find("at byte " + std::to_string(damagedAt)), std::string::npos) << damage[0];
    EXPECT_EQ(player.LastExitCode(), CPlayer::EXIT_DONE);
    EXPECT_EQ(player.Position(), 0);  // the next start replays from the beginning
}
