// A data file cut or damaged in the middle of a record, replayed: every whole
// record before the damage is shown as it was recorded, the replay stops at the
// damage and says at which byte.
#include <cstdlib>

#include "FaultSupport.h"

using namespace faults;

namespace {

struct Replayed {
    std::vector<zns::DataFileRecord> shown;
    std::vector<std::string> damage;
    std::vector<std::string> errors;
    int64_t stoppedAt = -1;
};

// Replays a data file from its start as the player does: one record per call,
// each call from the position the previous one left.
Replayed Replay(const std::string& path) {
    Replayed out;
    SharedData shared;
    HeaderRecord header;
    zns::DataFileWriter writer;
    ToolsStreamSources src;
    src.dataFilePath = [path] { return path; };
    src.showError = [&](const std::string& t) { out.errors.push_back(t); };
    CToolsStream ts(shared, header, writer, src);
    int64_t pos = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        int16_t t[3][zns::kRecordMaxSamples] = {};
        if (!ts.ReadDataLineInFileZne(pos, t[0], t[1], t[2])) {
            out.stoppedAt = pos;
            if (const std::string d = ts.ReplayDamage(pos); !d.empty()) out.damage.push_back(d);
            break;
        }
        const LoggerStatus L = shared.SnapshotLogger();
        zns::DataFileRecord r;
        r.depthMm = static_cast<int32_t>(std::llround(L.ReplayDepth * 1000.0));
        r.gamma = L.Gamma;
        r.traceByte = L.TraceByte;
        for (int rx = 0; rx < 3; ++rx) {
            r.travelTime[rx] = L.TravelTime[rx];
            r.gain[rx] = static_cast<uint8_t>(L.Gain[rx]);
            std::copy_n(t[rx], r.SampleCount(rx), r.trace[rx].begin());
        }
        out.shown.push_back(r);
        pos = ts.m_posReplay.load();
    }
    return out;
}

std::vector<zns::DataFileRecord> Decode(const std::string& path) {
    std::vector<zns::DataFileRecord> v;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    zns::DataFileRecord r;
    while (f && zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) v.push_back(r);
    return v;
}

// The fields the replay shows.
void ExpectSame(const zns::DataFileRecord& shown, const zns::DataFileRecord& rec, size_t i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown.depthMm, rec.depthMm);
    EXPECT_EQ(shown.gamma, rec.gamma);
    EXPECT_EQ(shown.traceByte, rec.traceByte);
    for (int rx = 0; rx < 3; ++rx) {
        EXPECT_EQ(shown.travelTime[rx], rec.travelTime[rx]);
        EXPECT_EQ(shown.gain[rx], rec.gain[rx]);
        for (int s = 0; s < rec.SampleCount(rx); ++s) ASSERT_EQ(shown.trace[rx][size_t(s)], rec.trace[rx][size_t(s)]);
    }
}

long long ByteIn(const std::string& message) {
    const size_t at = message.find("byte ");
    return at == std::string::npos ? -1 : std::strtoll(message.c_str() + at + 5, nullptr, 10);
}

class DamagedFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One clean log of mixed record sizes, recorded once for every case.
        s_dir = new TempDir;
        s_clean = s_dir->File("clean.zne");
        LogRig rig;
        ASSERT_TRUE(rig.StartLog(s_clean));
        ASSERT_TRUE(rig.RunUntil([] { return Decode(s_clean).size() >= 3; }));
        // A receiver switched off half-way changes the record size.
        AcquisitionSettings s;
        {
            std::lock_guard<std::mutex> g(rig.shared.acqMutex);
            rig.shared.settings.ZNSModus_Rx2 = TLC_NONE;
            s = rig.shared.settings;
        }
        const auto c10 = BuildCmd10(s);
        rig.Send(c10.data(), c10.size());
        ASSERT_TRUE(rig.RunUntil([] { return Decode(s_clean).size() >= 7; }));
        rig.StopLog();
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        clean = ReadBytes(s_clean);
        records = Decode(s_clean);
        ASSERT_GE(records.size(), 6u);
        size_t at = 0;
        for (const auto& r : records) {
            offsets.push_back(at);
            at += zns::RecordSize(r.traceByte);
        }
        ASSERT_EQ(at, clean.size());
        ASSERT_NE(zns::RecordSize(records.front().traceByte), zns::RecordSize(records.back().traceByte));
    }
    std::string Damaged(const Bytes& b) {
        const std::string p = s_dir->File("damaged" + std::to_string(++n) + ".zne");
        WriteBytes(p, b);
        return p;
    }

    static TempDir* s_dir;
    static std::string s_clean;
    Bytes clean;
    std::vector<zns::DataFileRecord> records;
    std::vector<size_t> offsets;
    int n = 0;
};
TempDir* DamagedFileTest::s_dir = nullptr;
std::string DamagedFileTest::s_clean;

}  // namespace

TEST_F(DamagedFileTest, AWholeFileReplaysToItsEndWithoutComplaint) {
    const Replayed r = Replay(s_clean);
    ASSERT_EQ(r.shown.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) ExpectSame(r.shown[i], records[i], i);
    EXPECT_TRUE(r.damage.empty());
    EXPECT_EQ(r.stoppedAt, static_cast<int64_t>(clean.size()));
}

TEST_F(DamagedFileTest, ACutFileShowsEveryWholeRecordThenSaysWhereItEnds) {
    const size_t k = 3;
    for (size_t into : {size_t{1}, size_t{10}, size_t{23}, size_t{24}, size_t{100}}) {
        SCOPED_TRACE(into);
        const Bytes cut(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(offsets[k] + into));
        const Replayed r = Replay(Damaged(cut));
        ASSERT_EQ(r.shown.size(), k);
        for (size_t i = 0; i < k; ++i) ExpectSame(r.shown[i], records[i], i);
        ASSERT_EQ(r.damage.size(), 1u);
        EXPECT_NE(r.damage[0].find("ends inside the record"), std::string::npos) << r.damage[0];
        EXPECT_EQ(ByteIn(r.damage[0]), static_cast<long long>(offsets[k])) << r.damage[0];
        EXPECT_EQ(r.stoppedAt, static_cast<int64_t>(offsets[k]));
    }
}

TEST_F(DamagedFileTest, ADamagedRecordStopsTheReplayThereAndSaysWhere) {
    const size_t k = 2;
    // A depth byte, a gain, a sample, the check itself.
    for (size_t at : {size_t{1}, size_t{21}, size_t{300}, zns::RecordSize(records[k].traceByte) - 2}) {
        SCOPED_TRACE(at);
        Bytes b = clean;
        b[offsets[k] + at] ^= 0x24;
        const Replayed r = Replay(Damaged(b));
        ASSERT_EQ(r.shown.size(), k);
        for (size_t i = 0; i < k; ++i) ExpectSame(r.shown[i], records[i], i);
        ASSERT_EQ(r.damage.size(), 1u);
        EXPECT_NE(r.damage[0].find("wrong check sum"), std::string::npos) << r.damage[0];
        EXPECT_EQ(ByteIn(r.damage[0]), static_cast<long long>(offsets[k])) << r.damage[0];
    }
}

TEST_F(DamagedFileTest, ADamagedTraceByteIsCaughtWhateverSizeItAnnounces) {
    // The trace-length byte decides how much the record takes: a damaged one
    // must not make the replay run on with records read out of step.
    const size_t k = 1;
    for (uint8_t tb : {uint8_t{0x00}, uint8_t{0x3F}, uint8_t{0xFF}, uint8_t{0x01}}) {
        SCOPED_TRACE(int(tb));
        Bytes b = clean;
        if (b[offsets[k] + 23] == tb) continue;
        b[offsets[k] + 23] = tb;
        const Replayed r = Replay(Damaged(b));
        ASSERT_EQ(r.shown.size(), k);
        ExpectSame(r.shown[0], records[0], 0);
        ASSERT_EQ(r.damage.size(), 1u);
        EXPECT_EQ(ByteIn(r.damage[0]), static_cast<long long>(offsets[k])) << r.damage[0];
    }
}

TEST_F(DamagedFileTest, GarbageAfterTheLastRecordIsReportedNotShown) {
    Bytes b = clean;
    b.insert(b.end(), {0x10, 0x27, 0, 0, 0x58, 0x02, 7, 7, 7});
    const Replayed r = Replay(Damaged(b));
    EXPECT_EQ(r.shown.size(), records.size());
    ASSERT_EQ(r.damage.size(), 1u);
    EXPECT_EQ(ByteIn(r.damage[0]), static_cast<long long>(clean.size())) << r.damage[0];
}

TEST_F(DamagedFileTest, AnEmptyOrMissingFile) {
    const Replayed empty = Replay(Damaged({}));
    EXPECT_TRUE(empty.shown.empty());
    EXPECT_TRUE(empty.damage.empty());
    EXPECT_TRUE(empty.errors.empty());

    const Replayed missing = Replay(s_dir->File("not-there.zne"));
    EXPECT_TRUE(missing.shown.empty());
    ASSERT_EQ(missing.errors.size(), 1u);
    EXPECT_EQ(missing.errors[0], "Trouble opening file.");
}
